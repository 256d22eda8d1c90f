// The sound-card window's layout: settings, counters, error list and buttons.
#include "gui/SoundCardWindow.h"

#include <QBoxLayout>

namespace kreisel {

SoundCardWindow::SoundCardWindow(TFormThreadSK& form, Binder& binder, QWidget* parent)
    : FormWindow(form, parent) {
    setObjectName(QString::fromStdString(form.Name()));
    Placer place(binder, {&form});
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(6, 6, 6, 6);
    col->setSpacing(6);
    const std::vector<GroupSpec> settings = {
        {"Geräte",
         {{"Eingang:", {"CBxInDev"}},
          {"Ausgang:", {"CBxOutDev"}},
          {"",
           {"LabelFreqCaption", "SEFreq", "LabelFreqUnit", "LabelBlockCaption", "SEMemBlockFrames",
            "LabelBlockUnit"}},
          {"", {"LabelOutFreqDeviationCaption"}},
          {"", {"LabelOutFreqDeviationUnit", "SEOutFreqDeviation"}},
          {"", {"LabelInfoRestart"}},
          {"", {"LabelWaveFormat"}}}},
        {"Zähler",
         {{"", {"CBUpdateCounters"}},
          {"", {"LabelActiveBuffersCaption", "LabelInQueued", "LabelOutQueued"}},
          {"",
           {"LabelBytesReceivedCaption", "LabelBytesReceived", "LabelSamplesTotalCaption",
            "LabelSamplesTotal"}},
          {"", {"LabelCalcRateCaption", "LabelCalcRate"}},
          {"", {"LabelInPerSecCaption", "LabelInPerSec", "LabelOutPerSecCaption", "LabelOutPerSec"}},
          {"", {"LabelInTotalCaption", "LabelInTotal", "LabelOutTotalCaption", "LabelOutTotal"}},
          {"", {"LabelWavePosCaption", "LabelWavePos"}},
          {"", {"LabelUsedTimeCaption", "LabelUsedTime"}}}},
        {"Fehler", {{"", {"CBShowWaveErrors"}}}},
    };
    QWidget* groups = BuildGroups(place, settings, this);
    groups->layout()->setContentsMargins(0, 0, 0, 0);
    col->addWidget(groups);
    if (auto* errors = qobject_cast<MemoView*>(place.Make("MemoErrors", this))) {
        errors->setMinimumHeight(80);
        connect(errors, &MemoView::LineDoubleClicked, this, [&form] { form.MemoErrorsDblClick(); });
        col->addWidget(errors, 1);
    }
    auto* buttons = new QHBoxLayout;
    place.AddTo(*buttons, {"ButtonStartStop", "ButtonResetCounters", "ButtonHardwareInfo", "ButtonSave"});
    buttons->addStretch(1);
    place.AddTo(*buttons, {"ButtonClose"});
    col->addLayout(buttons);
    resize(560, 640);
}

} // namespace kreisel
