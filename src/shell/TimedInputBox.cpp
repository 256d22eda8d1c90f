// The timed box's countdown, pause, buttons and its waiting loop on the event pump.
#include "shell/TimedInputBox.h"

#include "core/Text.h"

#include <algorithm>
#include <climits>

namespace kreisel {

namespace {

constexpr Rgb kWarnRed{255, 0, 0};

Control& Make(Form& f, const char* name, ControlKind kind, const char* caption = "") {
    Control& c = f.Add(name, kind);
    c.SetText(caption);
    return c;
}

} // namespace

TimedBoxControls::TimedBoxControls(Form& form)
    : Owner(form), LabelMessage(Make(form, "LabelMessage", ControlKind::Label)),
      ButtonOk(Make(form, "ButtonOk", ControlKind::Button, "&Ok")),
      ButtonNo(Make(form, "ButtonNo", ControlKind::Button, "&Nein")),
      ButtonCancel(Make(form, "ButtonCancel", ControlKind::Button, "&Abbruch")),
      PanelTime(Make(form, "PanelTime", ControlKind::Panel)),
      LabelTimeCaption(Make(form, "LabelTimeCaption", ControlKind::Label, "verbleibende Zeit [sec]:")),
      LabelTimeSec(Make(form, "LabelTimeSec", ControlKind::Label)) {}

TimedInputBox::TimedInputBox(TimedBoxControls& controls, Clock& clock, Timers& timers, EventPump& pump)
    : c_(controls), clock_(clock), timers_(timers), pump_(pump) {
    c_.ButtonOk.SetOnClick([this](Control&) { Answer(TimedOk); });
    c_.ButtonNo.SetOnClick([this](Control&) { Answer(TimedNo); });
    c_.ButtonCancel.SetOnClick([this](Control&) { Answer(TimedCancel); });
    for (Control* c : {&c_.PanelTime, &c_.LabelTimeCaption, &c_.LabelTimeSec})
        c->SetOnClick([this](Control&) { TogglePause(); });
}

TimedInputBox::~TimedInputBox() {
    timers_.Stop(timerId_);
}

int TimedInputBox::Show(int buttonSet, const std::string& caption, const std::string& message,
                        int defaultResult, int& remainingMs) {
    // One box at a time: a question raised while one is open (by a macro or a block running in
    // its waiting loop) takes its default answer, so neither box steals the other's answer.
    if (open_) return defaultResult;
    if ((buttonSet & (ShowOk | ShowNo | ShowCancel)) == 0) buttonSet = ShowOk; // always a way out
    open_ = true;
    answered_ = false;
    warned_ = false;
    paused_ = false;
    result_ = defaultResult;
    c_.Owner.SetCaption(caption);
    c_.LabelMessage.SetText(message);
    c_.ButtonOk.SetVisible((buttonSet & ShowOk) != 0);
    c_.ButtonNo.SetVisible((buttonSet & ShowNo) != 0);
    c_.ButtonCancel.SetVisible((buttonSet & ShowCancel) != 0);
    Control* preferred = defaultResult == TimedNo       ? &c_.ButtonNo
                         : defaultResult == TimedOk     ? &c_.ButtonOk
                         : defaultResult == TimedCancel ? &c_.ButtonCancel
                                                        : nullptr;
    c_.Focused = preferred != nullptr && preferred->Visible() ? preferred : nullptr;

    countdown_ = remainingMs > 0;
    c_.PanelTime.SetVisible(countdown_);
    deadline_ = clock_.TickCount() + std::max(remainingMs, 0);
    remaining_ = remainingMs;
    if (countdown_) {
        ShowSeconds(remaining_);
        timerId_ = timers_.Start(RefreshMs, true, [this] { Tick(); });
    }
    c_.Owner.SetVisible(true);

    while (!answered_)
        pump_.WaitForEvents(RefreshMs);

    timers_.Stop(timerId_);
    timerId_ = 0;
    if (countdown_) {
        if (!paused_)
            remaining_ =
                static_cast<int>(std::clamp<std::int64_t>(deadline_ - clock_.TickCount(), INT_MIN, INT_MAX));
        remainingMs = remaining_;
    }
    c_.Owner.SetVisible(false);
    c_.Focused = nullptr;
    open_ = false;
    return result_;
}

void TimedInputBox::ShowSeconds(int ms) {
    c_.LabelTimeSec.SetText(std::to_string(RoundHalfEven(ms / 1000.0)));
    if (ms > WarnBelowMs) {
        c_.PanelTime.SetColor(std::nullopt);
    } else {
        c_.PanelTime.SetColor(kWarnRed);
        warned_ = true;
    }
}

void TimedInputBox::Tick() {
    remaining_ = static_cast<int>(std::clamp<std::int64_t>(deadline_ - clock_.TickCount(), INT_MIN, INT_MAX));
    ShowSeconds(remaining_);
    if (remaining_ >= 1) return;
    timers_.Stop(timerId_);
    timerId_ = 0;
    if (c_.Focused == &c_.ButtonOk)
        result_ = TimedOk;
    else if (c_.Focused == &c_.ButtonNo)
        result_ = TimedNo;
    else if (c_.Focused == &c_.ButtonCancel)
        result_ = TimedCancel;
    answered_ = true;
}

void TimedInputBox::TogglePause() {
    if (!open_ || !countdown_ || answered_) return;
    const std::int64_t now = clock_.TickCount();
    if (!paused_) {
        timers_.Stop(timerId_);
        timerId_ = 0;
        remaining_ = static_cast<int>(std::clamp<std::int64_t>(deadline_ - now, INT_MIN, INT_MAX));
        paused_ = true;
        c_.LabelTimeSec.SetText("(gestoppt)");
        return;
    }
    paused_ = false;
    deadline_ = std::max(deadline_, now + ResumeAtLeastMs);
    ShowSeconds(static_cast<int>(deadline_ - now));
    timerId_ = timers_.Start(RefreshMs, true, [this] { Tick(); });
}

void TimedInputBox::Answer(int result) {
    if (!open_ || answered_) return;
    result_ = result;
    answered_ = true;
}

void TimedInputBox::Close() {
    Answer(TimedCancel);
}

bool TimedInputBox::TimedMessage(const std::string& message, int ms) {
    int remaining = ms;
    Show(ShowOk, "Meldung", message, TimedOk, remaining);
    return ms > 0 && remaining > 0;
}

int TimedInputBox::TimedOkNo(const std::string& message, int ms, int defaultResult) {
    return Show(ShowOk | ShowNo, "Meldung", message, defaultResult, ms);
}

int TimedInputBox::TimedOkCancel(const std::string& message, int ms, int defaultResult) {
    return Show(ShowOk | ShowCancel, "Meldung", message, defaultResult, ms);
}

int TimedInputBox::TimedOkNoCancel(const std::string& message, int ms, int defaultResult) {
    return Show(ShowOk | ShowNo | ShowCancel, "Meldung", message, defaultResult, ms);
}

DialogResult TimedInputBox::RunTimedBox(const Question& q) {
    int set = ShowOk;
    bool yes = false;
    switch (q.buttons) {
    case DialogButtons::Ok:
        break;
    case DialogButtons::OkCancel:
        set = ShowOk | ShowCancel;
        break;
    case DialogButtons::YesNo:
        set = ShowOk | ShowNo;
        yes = true;
        break;
    case DialogButtons::YesNoCancel:
        yes = true;
        set = ShowOk | ShowNo | ShowCancel;
        break;
    case DialogButtons::OkNoCancel:
        set = ShowOk | ShowNo | ShowCancel;
        break;
    }
    int defaultResult = TimedOk;
    if (q.defaultResult == DialogResult::No) defaultResult = TimedNo;
    if (q.defaultResult == DialogResult::Cancel) defaultResult = TimedCancel;
    int ms = q.timeoutMs;
    const int result = Show(set, q.caption.empty() ? "Meldung" : q.caption, q.text, defaultResult, ms);
    if (result == TimedNo) return DialogResult::No;
    if (result == TimedCancel) return DialogResult::Cancel;
    return yes ? DialogResult::Yes : DialogResult::Ok;
}

} // namespace kreisel
