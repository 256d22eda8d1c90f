// Pieces the windows share: placing a model's controls by name, the large display label, the
// progress bar with seeking, and the frame of the secondary windows.
#pragma once

#include "core/Form.h"
#include "gui/Binder.h"

#include <QLabel>
#include <QWidget>

#include <functional>
#include <initializer_list>
#include <string_view>
#include <vector>

class QBoxLayout;
class QGridLayout;

namespace kreisel {

// Creates bound widgets for controls named in any of its forms (searched in order). A name no
// form has gives no widget, so a view can name controls that a later model brings.
class Placer {
  public:
    Placer(Binder& binder, std::vector<Form*> forms) : binder_(binder), forms_(std::move(forms)) {}

    Control* Find(std::string_view name) const;
    // The bound widget, or nullptr when no form has the control.
    QWidget* Make(std::string_view name, QWidget* parent = nullptr);
    // Binds a view-made widget to the named control; false (and nothing bound) without one.
    bool Bind(std::string_view name, QWidget* widget);
    // Appends the widgets of the named controls that exist; returns how many.
    int AddTo(QBoxLayout& layout, std::initializer_list<const char*> names);

    Binder& B() { return binder_; }

  private:
    Binder& binder_;
    std::vector<Form*> forms_;
};

// Option pages and settings windows as rows of controls, grouped under titles. A row shows a
// fixed caption (may be empty) and then the named controls from left to right; rows whose
// controls all are missing, and groups without rows, are left out.
struct RowSpec {
    const char* caption = "";
    std::vector<const char*> names;
};
struct GroupSpec {
    const char* title = "";
    std::vector<RowSpec> rows;
};
QWidget* BuildGroups(Placer& place, const std::vector<GroupSpec>& groups, QWidget* parent = nullptr);

// A display whose font grows with its height (a share of it) and shrinks to fit its text into
// the width, so the displays stay readable from a distance on any screen. It draws its text
// itself, fitted anew on every paint, since a new text comes without any event.
class BigLabel : public QLabel {
    Q_OBJECT
  public:
    explicit BigLabel(QWidget* parent = nullptr, double heightShare = 0.625);
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double share_;
};

// The loop progress: a bar filled to the play position in the transport's colour; pressing,
// dragging and releasing the mouse report the x coordinate and the width for seeking.
class ProgressView : public QWidget {
    Q_OBJECT
  public:
    explicit ProgressView(QWidget* parent = nullptr);
    // Position and end of the play cycle; the bar repaints only when the filled width changes.
    void SetProgress(qint64 position, qint64 end, QColor fill);

  signals:
    void MouseDown(int x, int width);
    void MouseMove(int x, int width);
    void MouseUp();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    double fraction_ = 0;
    QColor fill_{0, 200, 0};
};

// A window of the looper besides the main window: shows its form's caption, and its close box
// runs Closing (the window switch) instead of just vanishing.
class FormWindow : public QWidget {
    Q_OBJECT
  public:
    FormWindow(Form& form, QWidget* parent = nullptr);
    Form& Model() const { return form_; }
    std::function<void()> Closing;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    Form& form_;
};

QColor ToQColor(Rgb c);
QFont WithPointSize(QFont font, double points, bool bold = false);

} // namespace kreisel
