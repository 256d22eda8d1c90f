// Where each option control sits on the options pages.
#include "gui/OptionsWindow.h"

#include <QBoxLayout>
#include <QScrollArea>
#include <QTabWidget>

namespace kreisel {

namespace {

std::vector<GroupSpec> RecordingPage() {
    return {
        {"Aufnahme",
         {{"", {"CBContinuousRecordingLoops"}},
          {"", {"CBReRecordCyclic"}},
          {"Max.Anz. Loops:", {"SEFixMaxLoopNr"}},
          {"Loops pro Gruppe:", {"SEFixMaxLoopNrOfGroup"}}}},
        {"Loop-Länge",
         {{"", {"CBUseFixedLoopTime", "TBFixedLoopTime", "CBFixedLoopUseBPM"}},
          {"", {"LabelMaxLoopTime"}},
          {"", {"CBMaxTimeLikeFirstLoop"}},
          {"", {"CBHoldLoopLength"}},
          {"", {"CBFirstRecLoopEnd_AfterOffset"}},
          {"", {"CBPlayAsyncRingMode"}}}},
        {"Vorlauf",
         {{"", {"CBUsePrepareTime", "TBPrepareTime", "CBPrepareTimeUseBPM", "LabelPrepareTimeVal"}}}},
        {"Punch und Fades",
         {{"Punch:", {"CBPunchMixMode", "CBPunchMixReFadeAll"}},
          {"", {"CBFadeFirstLastBlock", "TBFadeFirstLastBlockSmps", "LabelFadeInOutVal"}},
          {"", {"CBCorrectDCDrift", "LabelDCDriftL", "LabelDCDriftR"}}}},
        {"Export", {{"", {"SBDoExport", "SBDoExportMarker", "SBFinishExport", "LabelExportSize"}}}},
    };
}

std::vector<GroupSpec> TempoPage() {
    return {
        {"Metronom",
         {{"", {"SBMetronomOpt", "TBMetronomBPM", "LabelMetronom"}},
          {"Lautstärke:", {"TBMetroLevel"}},
          {"", {"CBMetroSyncWithLoopStart", "CBMetroStopAtLoopEnd"}},
          {"", {"CBMetroStopAtPrepareTimeEnd", "CBMetronomRecord"}}}},
        {"Tap",
         {{"", {"SBTapOpt", "TBTapCount", "LabelToTapCount"}},
          {"Schwelle:", {"TBTapLevel", "PanelTapLevelPercent"}},
          {"", {"CBTapCtrlInput", "CBTapCtrlKeys"}},
          {"", {"CBTapStartRecord", "CBTapStartPlay"}},
          {"", {"CBTapSetMetronom", "CBTapStartMetronom"}},
          {"Tempo:", {"LabelTapFreq"}}}},
        {"Zähler", {{"", {"ButtonResetCounters", "LabelCounterIn"}}}},
        {"Makros", {{"", {"CBShowMacrosErrors"}}}},
        {"Tasten",
         {{"Mindestdauer langer Tastendrücke:", {"TBKeyLongMinMSec", "LabelKeyLongMinMSec"}},
          {"Tastenfolgen-Erkennung nach:", {"TBKeyDistMaxMSec", "LabelKeyDistMaxMSec"}}}},
        {"Fußschalter",
         {{"", {"SBPortControl", "CBPorts"}},
          {"", {"CBPortUseInverting", "CBPortUseBothTransitions"}},
          {"CTS, DSR, RLSD, RING:", {"ShapeCTS", "ShapeDSR", "ShapeRLSD", "ShapeRING"}}}},
        {"MIDI-Fußschalter",
         {{"", {"SBMidiKeys", "CBMidiPorts", "ButtonMidiPorts"}},
          {"Kanal:", {"CBMidiChannel"}},
          {"Zuordnung:", {"CBMidiMapping"}},
          {"Nachricht, Nummer, Taste:", {"CBMidiKind", "SEMidiNumber", "SEMidiKey"}},
          {"", {"ButtonMidiLearn", "LabelMidiState"}}}},
        {"Stimmgerät und Stimm-Ton",
         {{"", {"CBShowInputFreq", "SBGeneratorOpt", "EditGenFreq", "TBGenerLevel", "PanelGenerLevel"}}}},
    };
}

std::vector<GroupSpec> MixerPage() {
    return {
        {"Loop-Mixer",
         {{"", {"LabelInputMode", "ComboBoxInputMode"}},
          {"", {"CBMixSymm", "CBInputMixer"}},
          {"Loop-Scroll-Geschwindigkeit", {"TBScrollStepsPerMixer", "LabelScrollStepsPerMixer"}},
          {"Grafiken:", {"SBGraph", "CBAdaptGraphs"}},
          {"Strich-Stärke:", {"TBPenWidth"}}}},
        {"Haupt-Regler",
         {{"", {"CBLevelMeterSmooth"}},
          {"Pegelanzeige alle:", {"TBLevelMeterRefreshInterval", "LabelLevelMeterRefreshInterval"}}}},
        {"Ausgang",
         {{"", {"CBUseLowerOutput", "TBLowerOutputPerLoop", "LabelLowerOutputPerLoop"}},
          {"Absenkung jetzt:", {"LabelLowerOutput"}}}},
        {"Anzeige", {{"Größe des Verlaufszeigers:", {"TBProgressBarSize", "LabelProgressBarSize"}}}},
    };
}

std::vector<GroupSpec> SoundCardPage() {
    return {
        {"Sound-Karte",
         {{"Eingang:", {"CBxInDev"}},
          {"Ausgang:", {"CBxOutDev"}},
          {"", {"LabelFreqCaption", "SEFreq", "LabelFreqUnit"}},
          {"", {"LabelBlockCaption", "SEMemBlockFrames", "LabelBlockUnit"}},
          {"", {"LabelInfoRestart"}},
          {"", {"LabelWaveFormat", "ButtonStartSoundKarte", "SpeedButtonSoundkarte"}},
          {"", {"LabelSndInputCount"}}}},
    };
}

std::vector<GroupSpec> LatencyPage() {
    return {
        {"Ausgleich der Latenz",
         {{"", {"LabelOptOutblocksDelayCaption", "SEOptOutblocksDelay"}},
          {"", {"CBManualAddOffsetFrms"}},
          {"", {"LabelAddOffsetCaption", "SEAddOffsetFrms"}},
          {"", {"LabelOffsetmSecCaption", "LabelOffsetmSec"}},
          {"", {"CBKorrOutSmps"}},
          {"", {"LabelKorrSmpsCaption", "LabelKorrSmps", "ButtonResetCounters"}},
          {"", {"LabelCalcOutCountCaption", "Label_Calc_Out_Count"}},
          {"", {"LabelOutCountCaption", "LabelOutCount"}}}},
        {"Latenz akustisch messen",
         {{"", {"ButtonCalcLatency"}},
          {"", {"LabelLatencyLevelCaption", "TBLatencyLevel", "PanelLatencyLevel"}},
          {"", {"PanelLatency", "LabelLatency", "LabelLatencyCounter"}}}},
    };
}

} // namespace

OptionsWindow::OptionsWindow(TFormOptions& options, Binder& binder, std::vector<Form*> forms, QWidget* parent)
    : FormWindow(options, parent) {
    setObjectName(QString::fromStdString(options.Name()));
    for (const Form* f : forms)
        if (debugMode_ == nullptr) debugMode_ = f->Find("PMDebugMode");
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(4, 4, 4, 4);
    pages_ = new QTabWidget(this);
    Placer place(binder, std::move(forms));
    const std::vector<GroupSpec> pages[TFormOptions::PageCount] = {RecordingPage(), TempoPage(), MixerPage(),
                                                                   SoundCardPage(), LatencyPage()};
    const auto& captions = options.PageControlOptions.Items();
    for (int i = 0; i < TFormOptions::PageCount; ++i) {
        auto* scroll = new QScrollArea(pages_);
        scroll->setWidgetResizable(true);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidget(BuildGroups(place, pages[i]));
        pages_->addTab(scroll, QString::fromStdString(captions.at(static_cast<std::size_t>(i))));
    }
    binder.Bind(options.PageControlOptions, pages_);
    col->addWidget(pages_);
    resize(640, 560);
    connect(&binder, &Binder::Refreshed, this, &OptionsWindow::FollowDebugMode);
    FollowDebugMode();
}

void OptionsWindow::FollowDebugMode() {
    const int on = debugMode_ != nullptr && debugMode_->Checked() ? 1 : 0;
    if (on == shownDebug_) return;
    const bool first = shownDebug_ < 0;
    shownDebug_ = on;
    if (first && on == 0) return;
    // The window stays sizeable outside debug mode too: a size the performer gave it, kept in the
    // settings file, must come back after a restart.
    if (on != 0) {
        sizeBeforeDebug_ = size();
        resize(DebugWidth, height());
    } else {
        resize(sizeBeforeDebug_);
    }
}

} // namespace kreisel
