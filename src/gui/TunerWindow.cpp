#include "gui/TunerWindow.h"

#include <QBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QTextCursor>

#include <algorithm>

namespace kreisel {

LampBar::LampBar(const Tuner& tuner, QWidget* parent) : QWidget(parent), tuner_(tuner) {
    setObjectName(QStringLiteral("PBDevLeds"));
    setMinimumSize(6 * 52, 24);
}

void LampBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const int h = height();
    const QColor face = palette().color(QPalette::Window);
    for (int i = 1; i <= 50; ++i) {
        p.setPen(i % 5 == 0 ? Qt::white : face);
        p.drawLine(6 * i, 2, 6 * i, h - 3);
    }
    if (const int lamp = tuner_.Lamp(); lamp >= 0) {
        p.setPen(QPen(ToQColor(tuner_.LampColor()), 5));
        p.drawLine(6 * lamp + 3, 2, 6 * lamp + 3, h - 3);
    }
}

WaveBox::WaveBox(Tuner& tuner, const TunerControls& controls, QWidget* parent)
    : QWidget(parent), tuner_(tuner), c_(controls) {
    setObjectName(QStringLiteral("PBInputWave"));
    setMinimumSize(320, 140);
}

void WaveBox::resizeEvent(QResizeEvent*) {
    tuner_.BoxWidth = width();
    tuner_.BoxHeight = height();
}

void WaveBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int w = width(), h = height();
    p.setPen(Qt::black);
    p.drawRect(0, 0, w - 1, h - 1);
    p.drawLine(0, h / 2, w, h / 2);
    const FrequencyMeter& m = tuner_.Meter();
    const double xz = tuner_.XZoom(), yz = tuner_.YZoom();
    // Hold-off, minimum level (red) and trigger level (blue).
    p.setPen(Qt::red);
    const int xh = static_cast<int>(tuner_.HoldOff() * xz);
    p.drawLine(xh, 20, xh, h - 20);
    const int ymin = static_cast<int>(h * 0.5 * (1 - yz * m.Params().MinLevel / 32767.0));
    p.drawLine(0, ymin, w, ymin);
    p.setPen(Qt::blue);
    const int ytrig = static_cast<int>(h * 0.5 * (1 - yz * m.Params().TrigLevel / 32767.0));
    p.drawLine(0, ytrig, w, ytrig);

    if (c_.CBPaintWave.Checked() && !m.Wave().empty()) {
        QPainterPath path;
        bool first = true;
        for (const WavePoint& pt : m.Wave()) {
            const double x = pt.X * xz;
            if (x > w) break;
            const double y = h / 2.0 - pt.Y * 0.5 / 32767 * h * yz;
            if (first)
                path.moveTo(0, y);
            else
                path.lineTo(x, y);
            first = false;
        }
        p.setPen(QColor(0, 160, 0));
        p.drawPath(path);
        p.setPen(ToQColor(TunerColors::Teal));
        for (int x : m.CrossingMarks())
            p.drawLine(static_cast<int>(x * xz), 4, static_cast<int>(x * xz), h - 4);
    }

    const int bins = m.SpectrumBins();
    if (c_.CBShowFFT.Checked() && bins >= 100) {
        const std::vector<double>& b = m.Spectrum();
        const double top =
            b[static_cast<size_t>(std::clamp(static_cast<int>(m.SpectrumTopBin() + 0.5), 1, bins))];
        if (top >= 1) {
            const bool zoom = c_.CBFFTxyZoom.Checked();
            const double wd = zoom ? w * xz : w;
            const double factor = zoom ? yz : 1;
            const double step = (wd - 8) / bins;
            auto curve = [&](const std::vector<double>& mag, QColor colour) {
                QPainterPath path;
                path.moveTo(4, 4 + (1 - factor * mag[1] / top) * (h - 8));
                for (int k = 2; k <= bins; ++k)
                    path.lineTo(k * step + 4, 4 + (1 - factor * mag[static_cast<size_t>(k)] / top) * (h - 8));
                p.setPen(colour);
                p.drawPath(path);
            };
            if (c_.CBIntegration.Checked()) curve(m.RawSpectrum(), Qt::gray);
            curve(b, ToQColor(TunerColors::Maroon));
            p.setPen(Qt::black);
            const double rate = m.Params().SampleRate, size = 2.0 * bins;
            p.drawText(static_cast<int>(m.SpectrumTopBin() * step + 8), 14,
                       QStringLiteral("Fmax~%1 Hz").arg(rate * (m.SpectrumTopBin() - 1) / size, 0, 'f', 1));
            if (m.SpectrumFirstBin() != m.SpectrumTopBin())
                p.drawText(
                    static_cast<int>(m.SpectrumFirstBin() * step + 8), 28,
                    QStringLiteral("F1~%1 Hz").arg(rate * (m.SpectrumFirstBin() - 1) / size, 0, 'f', 1));
        }
    }
}

namespace {

std::vector<GroupSpec> SettingsGroups() {
    return {
        {"Messung",
         {{"", {"CBShowInputFreq", "SBIFMeasPause", "CBUseFFT"}},
          {"Messdauer:", {"TBIFMeastime", "LabelIFMeastime"}},
          {"Mindestpegel:", {"TBIFSensitivity", "LabelIFSensitivity", "LabelMinSmpsOverMin"}},
          {"Trigger:", {"TBIFTrigLevel", "LabelTrigLevel", "CBIFTrigLevelAuto"}},
          {"höchste Frequenz:", {"TBMaxIF", "LabelMaxIF", "CBMaxIFAuto"}},
          {"", {"CBIntegration", "SEMaxSiNr", "CBIntegAutoSmps"}},
          {"", {"LabelFFTFirstPeak"}}}},
        {"Anzeige",
         {{"", {"CBPaintWave", "SEIFWaveCount", "CBShowFFT", "CBFFTxyZoom"}},
          {"X-Zoom:", {"TBXZoom", "LabelXZoom", "CBXZoomAuto"}},
          {"Y-Zoom:", {"TBYZoom", "LabelYZoom", "CBYZoomAuto"}},
          {"Nachkommastellen Hz / Cent:", {"SEFreqDec", "SECentDec"}},
          {"Stabilität:", {"SEMinStabilityCount", "TBStabilityTolerance", "LabelStabilityCentTolerance"}}}},
        {"Stimm-Ton",
         {{"", {"SBGenerator", "EditGenFreq", "UpDownGenFreq", "LabelFreqOrNote"}},
          {"Ton / Oktave:", {"TBGenFreqTon", "TBGenFreqOctave", "LabelDiffCent"}},
          {"Basis-Frequenz:", {"EditBaseFrequency", "UpDownBaseFreq"}},
          {"Lautstärke:", {"TBGenerLevel", "PanelGenerLevel", "CBGeneratorRecord"}},
          {"", {"CBControlGenFreq", "ButtonWinMixerRecord", "ButtonWinMixerPlay"}},
          {"", {"SBCalibration", "EditCalibStartFreq"}}}},
    };
}

} // namespace

TunerWindow::TunerWindow(TunerControls& controls, Tuner& tuner, Binder& binder, std::vector<Form*> forms,
                         QWidget* parent)
    : QWidget(parent), c_(controls) {
    setObjectName(QStringLiteral("FormTuner"));
    setWindowTitle(QStringLiteral("Kreisel - Stimmgerät"));
    Placer place(binder, std::move(forms));
    auto* row = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    row->addLayout(left, 3);

    auto* results = new QHBoxLayout;
    for (const char* name : {"LabelInputFreqAsNote", "LabelInputFreqDevCent", "LabelInputFreqHz"})
        if (QWidget* w = place.Make(name)) {
            w->setFont(WithPointSize(w->font(), 18, true));
            results->addWidget(w);
        }
    left->addLayout(results);
    auto* status = new QHBoxLayout;
    place.AddTo(*status, {"LabelMeasNr", "LabelMeasuring", "LabelStability", "PanelLeds"});
    left->addLayout(status);
    lamps_ = new LampBar(tuner, this);
    left->addWidget(lamps_);
    wave_ = new WaveBox(tuner, controls, this);
    left->addWidget(wave_, 1);
    auto* listButtons = new QHBoxLayout;
    place.AddTo(*listButtons,
                {"CBShowMemoMeas", "CBAutoMeasToMemo", "CBAutoMeasToMemoOnlyOnce", "CBSupressSameLines"});
    left->addLayout(listButtons);
    auto* listButtons2 = new QHBoxLayout;
    place.AddTo(*listButtons2, {"ButtonMeasToMemo", "ButtonMemoMeasClear", "ButtonMemoMeasCopyAll",
                                  "ButtonMemoMeasCopySel"});
    left->addLayout(listButtons2);
    if (QWidget* memo = place.Make("MemoMeas")) {
        left->addWidget(memo, 1);
        // The selection for "Copy Sel", in the characters of the list's text.
        if (auto* edit = qobject_cast<QPlainTextEdit*>(memo))
            connect(edit, &QPlainTextEdit::selectionChanged, this, [edit, &tuner] {
                const QTextCursor c = edit->textCursor();
                const QString text = edit->toPlainText();
                tuner.SetMemoSelection(text.left(c.selectionStart()).toStdString().size(),
                                       text.left(c.selectionEnd()).toStdString().size());
            });
    }

    row->addWidget(BuildGroups(place, SettingsGroups(), this), 2);
    resize(1100, 680);
}

void TunerWindow::Follow() {
    const bool shown = c_.CBShowInputFreq.Checked();
    if (shown != isVisible()) setVisible(shown);
    if (shown) {
        lamps_->update();
        wave_->update();
    }
}

} // namespace kreisel
