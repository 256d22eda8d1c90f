// The tuner window: measurement settings, the results with the lamp bar, the wave and spectrum
// box, the measurement list, the calibration scan and the reference tone. The controls are the
// main window's; this window only places them and paints the two boxes from the tuner's data.
#pragma once

#include "gui/ViewParts.h"
#include "tuner/Tuner.h"
#include "tuner/TunerControls.h"

namespace kreisel {

// The 51 lamps of the cent deviation.
class LampBar : public QWidget {
    Q_OBJECT
  public:
    LampBar(const Tuner& tuner, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {6 * 52, 24}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const Tuner& tuner_;
};

// The wave of the first periods and the spectrum of the last window.
class WaveBox : public QWidget {
    Q_OBJECT
  public:
    WaveBox(Tuner& tuner, const TunerControls& controls, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {480, 180}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    Tuner& tuner_;
    const TunerControls& c_;
};

class TunerWindow : public QWidget {
    Q_OBJECT
  public:
    TunerWindow(TunerControls& controls, Tuner& tuner, Binder& binder, std::vector<Form*> forms,
                QWidget* parent = nullptr);
    // Shown while "Input-Frequenz" is checked; the boxes repaint with the binder.
    void Follow();

  private:
    TunerControls& c_;
    LampBar* lamps_ = nullptr;
    WaveBox* wave_ = nullptr;
};

} // namespace kreisel
