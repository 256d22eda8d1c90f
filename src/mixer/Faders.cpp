// Master faders: positions to engine levels through the fader and panorama tables.
#include "mixer/Faders.h"

#include "core/Text.h"
#include "engine/LevelTables.h"

#include <algorithm>
#include <string>

namespace kreisel {

namespace {

Control& Fader(Form& f, const char* name, Orientation o, int max, int position) {
    Control& c = f.Add(name, ControlKind::Slider);
    c.SetOrientation(o);
    c.SetRange(0, max);
    c.SetPosition(position);
    return c;
}

Control& Named(Form& f, const char* name, ControlKind kind, const char* caption = "") {
    Control& c = f.Add(name, kind);
    c.SetText(caption);
    return c;
}

// A level in level units as a plain number of dB: -30 -> "-3", 15 -> "1.5".
std::string PlainDb(int32_t level, char separator) {
    const long long magnitude = level < 0 ? -static_cast<long long>(level) : level;
    std::string text = (level < 0 ? "-" : "") + std::to_string(magnitude / 10);
    if (magnitude % 10 != 0) {
        text += separator;
        text += static_cast<char>('0' + magnitude % 10);
    }
    return text;
}

int32_t FaderLevel(const Control& fader) {
    return FaderLevelTable[static_cast<size_t>(std::clamp(fader.Position(), 0, 120))];
}

} // namespace

FaderControls::FaderControls(Form& form)
    : TBInpLevel(Fader(form, "TBInpLevel", Orientation::Vertical, 120, kFaderUnity)),
      TBInpLevelPan(Fader(form, "TBInpLevelPan", Orientation::Horizontal, 16, 8)),
      TBOutLevel(Fader(form, "TBOutLevel", Orientation::Vertical, 120, kFaderUnity)),
      TBOutLevelPan(Fader(form, "TBOutLevelPan", Orientation::Horizontal, 16, 8)),
      LabelInpLevelVal(Named(form, "LabelInpLevelVal", ControlKind::Label)),
      LabelOutLevelVal(Named(form, "LabelOutLevelVal", ControlKind::Label)),
      PanelInpLevelLR(Named(form, "PanelInpLevelLR", ControlKind::Panel)),
      PanelOutLevelLR(Named(form, "PanelOutLevelLR", ControlKind::Panel)),
      SBLevelMeterInp(Named(form, "SBLevelMeterInp", ControlKind::SwitchButton, "VU")),
      SBLevelMeterOut(Named(form, "SBLevelMeterOut", ControlKind::SwitchButton, "VU")) {
    for (Control* vu : {&SBLevelMeterInp, &SBLevelMeterOut}) {
        vu->SetGroupIndex(2);
        vu->SetAllowAllUp(true);
    }
}

Faders::Faders(Engine& engine, FaderControls& controls) : engine_(engine), c_(controls) {
    for (Control* fader : {&c_.TBInpLevel, &c_.TBInpLevelPan, &c_.TBOutLevel, &c_.TBOutLevelPan})
        fader->SetOnChange([this](Control&) { TBLevelsChange(); });
    for (Control* label : {&c_.LabelInpLevelVal, &c_.LabelOutLevelVal})
        label->SetOnClick([this](Control& l) { LevelLabelClick(l); });
    TBLevelsChange();
}

void Faders::TBLevelsChange() {
    Engine& e = engine_;
    const int inPan = c_.TBInpLevelPan.Position();
    const int outPan = c_.TBOutLevelPan.Position();
    e.InputLevel = FaderLevel(c_.TBInpLevel);
    e.InputLevelL = LevelOfPosition(PanLevelTable, inPan);
    e.InputLevelR = LevelOfPosition(PanLevelTable, 16 - inPan);
    e.OutputLevel = FaderLevel(c_.TBOutLevel);
    e.OutputLevelL = LevelOfPosition(PanLevelTable, outPan);
    e.OutputLevelR = LevelOfPosition(PanLevelTable, 16 - outPan);
    const char sep = DecimalSeparator;
    c_.LabelInpLevelVal.SetText(LevelText(e.InputLevel, sep));
    c_.LabelOutLevelVal.SetText(LevelText(e.OutputLevel, sep));
    c_.PanelInpLevelLR.SetText(PlainDb(e.InputLevelL, sep) + "  /  " + PlainDb(e.InputLevelR, sep));
    c_.PanelOutLevelLR.SetText(PlainDb(e.OutputLevelL, sep) + "  /  " + PlainDb(e.OutputLevelR, sep));
}

void Faders::LevelLabelClick(Control& label) {
    Control& fader = &label == &c_.LabelInpLevelVal ? c_.TBInpLevel : c_.TBOutLevel;
    {
        SuppressActions quiet(fader);
        fader.SetPosition(kFaderUnity);
    }
    TBLevelsChange();
}

} // namespace kreisel
