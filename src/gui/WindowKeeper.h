// Keeps the windows and their forms' geometry in step: moves and resizes are written into the
// model (which the settings file saves), and the saved places are applied at start-up, pulled
// back onto a screen when the monitor they were on is gone.
#pragma once

#include "core/Form.h"
#include "shell/WindowPlacement.h"

#include <QObject>

#include <vector>

class QWidget;

namespace kreisel {

class WindowKeeper : public QObject {
    Q_OBJECT
  public:
    explicit WindowKeeper(QObject* parent = nullptr) : QObject(parent) {}

    // withSize: the window's size is saved too (the load/save dialog keeps only its place).
    void Keep(QWidget* window, Form& form, bool withSize = true) { Keep(window, form.Geometry(), withSize); }
    // A window without a form of its own (the tuner's) keeps its place in a geometry of its model.
    void Keep(QWidget* window, WindowGeometry& geometry, bool withSize = true);
    // Applies the models' geometry to their windows, each pulled onto a screen; moves and resizes
    // are recorded from then on.
    void ApplyAll();
    void Apply(QWidget* window, WindowGeometry& geometry, bool withSize);
    // The available area of every screen.
    static std::vector<ScreenArea> Screens();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Kept {
        QWidget* window;
        WindowGeometry* geometry;
        bool withSize;
    };
    std::vector<Kept> kept_;
    bool applying_ = false;
    bool tracking_ = false;
};

} // namespace kreisel
