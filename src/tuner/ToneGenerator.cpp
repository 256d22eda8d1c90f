#include "tuner/ToneGenerator.h"

#include "core/Text.h"
#include "engine/Gain.h"
#include "engine/LevelTables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace kreisel {

std::optional<double> ParseNumber(const std::string& text) {
    std::string t;
    for (char ch : text)
        if (ch != ' ') t += ch == ',' ? '.' : ch;
    if (t.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    return v;
}

ToneGenerator::ToneGenerator(Engine& engine, TunerControls& controls) : e_(engine), c_(controls) {
    table_.reserve(100000);
    for (Control* c : {&c_.SBGenerator, &c_.SBGeneratorOpt})
        c->SetOnClick([this](Control& sender) { AnyChange_GenFreq(&sender); });
    c_.EditGenFreq.SetOnChange([this](Control& sender) { AnyChange_GenFreq(&sender); });
    for (Control* c : {&c_.TBGenFreqTon, &c_.TBGenFreqOctave, &c_.EditBaseFrequency})
        c->SetOnChange([this](Control&) { TBGenFreqChange(); });
    c_.UpDownGenFreq.SetOnChange([this](Control& c) {
        const int step = c.Value() - RoundHalfEven(tuning_.Frequency);
        if (step != 0) StepGenFreq(step > 0 ? 1 : -1, false);
        EditGenFreqEnter();
    });
    c_.UpDownBaseFreq.SetOnChange([this](Control& c) {
        const double base = BaseFrequency();
        if (c.Value() != RoundHalfEven(base)) StepBaseFreq(c.Value() > base ? 1 : -1, false);
    });
    for (Control* c : {&c_.TBGenerLevel, &c_.CBGeneratorRecord})
        c->SetOnChange([this](Control&) { LevelChanged(); });
    for (Control* c : {&c_.ButtonWinMixerRecord, &c_.ButtonWinMixerPlay})
        c->SetOnClick([this](Control&) { ButtonWinMixerClick(); });
    SetFrequency(440);
    LevelChanged();
}

double ToneGenerator::BaseFrequency() const {
    const std::optional<double> v = ParseNumber(c_.EditBaseFrequency.Text());
    return v && *v > 0 ? *v : 440.0;
}

void ToneGenerator::SetFrequency(double requested) {
    tuning_ = TuneGenerator(requested, e_.SampleRate);
    table_.resize(static_cast<size_t>(tuning_.Period));
    for (int i = 0; i < tuning_.Period; ++i)
        table_[static_cast<size_t>(i)] =
            static_cast<int16_t>(RoundHalfEven(std::sin(i * tuning_.Omega) * kAmplitude));
    e_.GenPeriod = tuning_.Period;
    e_.GenPhase = 0;
}

void ToneGenerator::AnyChange_GenFreq(const Control* sender) {
    if (sender == &c_.SBGenerator || sender == &c_.SBGeneratorOpt) {
        const bool on = sender->Down();
        for (Control* c : {&c_.SBGenerator, &c_.SBGeneratorOpt}) {
            SuppressActions quiet(*c);
            c->SetDown(on);
        }
    }
    if (const std::optional<double> f = ParseNumber(c_.EditGenFreq.Text()); f && *f != tuning_.Frequency)
        SetFrequency(*f);
    std::string text = FormatFloat("0.##", tuning_.Frequency, DecimalSeparator) + " Hz";
    if (On() && OnShowGeneratorPage) OnShowGeneratorPage();
    if (!noteName_.empty()) text += " (" + noteName_ + ")";
    c_.SBGenerator.SetText(text);
    c_.LabelFreqOrNote.SetText(text);
    const int n = (c_.TBGenFreqOctave.Position() - 6) * 12 + (c_.TBGenFreqTon.Position() - 9);
    const double cents =
        std::log(tuning_.Frequency / (440 * std::pow(2.0, n / 12.0))) / (std::numbers::ln2 / 12) * 100;
    c_.LabelDiffCent.SetText(FormatFloat("+0.0;-0.0;+-0", cents, DecimalSeparator));
    Sync();
}

void ToneGenerator::TBGenFreqChange() {
    const int i = c_.TBGenFreqTon.Position();
    const int octave = c_.TBGenFreqOctave.Position() + (i == 12 ? 1 : 0);
    noteName_ = NoteName(i % 12, octave);
    const double f = NoteSliderFrequency(i, c_.TBGenFreqOctave.Position(), BaseFrequency());
    {
        SuppressActions quiet(c_.UpDownGenFreq);
        c_.UpDownGenFreq.SetValue(RoundHalfEven(f));
    }
    const std::string text = FormatFloat("0.##0", f, DecimalSeparator);
    if (text != c_.EditGenFreq.Text())
        c_.EditGenFreq.SetText(text);
    else
        AnyChange_GenFreq(&c_.EditGenFreq);
}

void ToneGenerator::StepGenFreq(int direction, bool ctrl) {
    const double now = ParseNumber(c_.EditGenFreq.Text()).value_or(tuning_.Frequency);
    const double f = std::clamp(now + direction * (ctrl ? 0.1 : 1.0), 1.0, 20000.0);
    {
        SuppressActions quiet(c_.UpDownGenFreq);
        c_.UpDownGenFreq.SetValue(RoundHalfEven(f));
    }
    c_.EditGenFreq.SetText(FormatFloat("0.##", f, DecimalSeparator));
}

void ToneGenerator::StepBaseFreq(int direction, bool ctrl) {
    const double f = std::max(1.0, BaseFrequency() + direction * (ctrl ? 0.05 : 0.25));
    {
        SuppressActions quiet(c_.UpDownBaseFreq);
        c_.UpDownBaseFreq.SetValue(RoundHalfEven(f));
    }
    c_.EditBaseFrequency.SetText(FormatFloat("0.###", f, DecimalSeparator));
}

void ToneGenerator::EditGenFreqEnter() {
    if (noteName_.empty()) return;
    noteName_.clear();
    AnyChange_GenFreq(nullptr);
}

void ToneGenerator::FollowNote(int nameIndex, int octave) {
    const bool octaveMoves = c_.TBGenFreqOctave.Position() != octave;
    if (!octaveMoves && c_.TBGenFreqTon.Position() == nameIndex) return;
    {
        SuppressActions quiet(c_.TBGenFreqOctave);
        c_.TBGenFreqOctave.SetPosition(octave);
    }
    if (c_.TBGenFreqTon.Position() != nameIndex)
        c_.TBGenFreqTon.SetPosition(nameIndex);
    else
        TBGenFreqChange();
}

void ToneGenerator::LevelChanged() {
    c_.PanelGenerLevel.SetText(
        LevelText(LevelOfPosition(AmpLevelTable, c_.TBGenerLevel.Position()), DecimalSeparator));
    Sync();
}

void ToneGenerator::Sync() {
    EngineSwitches& sw = e_.Switches;
    sw.GeneratorOn = On();
    sw.GeneratorRecord = c_.CBGeneratorRecord.Checked();
    sw.GeneratorLevel = LevelOfPosition(AmpLevelTable, c_.TBGenerLevel.Position());
}

void ToneGenerator::ButtonWinMixerClick() {
    if (desktop != nullptr && desktop->StartSystemMixer()) return;
    if (dialogs != nullptr)
        dialogs->ShowMessage("Kein System-Mixer gefunden: weder pavucontrol noch qpwgraph noch alsamixer "
                             "(in einem Terminal) lässt sich starten. Bitte eines davon installieren.");
}

} // namespace kreisel
