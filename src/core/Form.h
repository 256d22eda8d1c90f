// Form: a window as a model, owning its named controls; FormRegistry: the windows in the order in
// which macros look up a control name.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Control.h"

namespace kreisel {

// Where a window stands on the screen, as the settings file keeps it. The views report moves and
// resizes here and apply it once it is known; a width or height of 0 means "not known yet", and
// then the window keeps its design size.
struct WindowGeometry {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    bool Known() const { return Width > 0 && Height > 0; }
};

class Form {
  public:
    explicit Form(std::string name, std::string caption = {});
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption) { caption_ = std::move(caption); }
    bool Visible() const { return visible_; } // windows start hidden until shown
    void SetVisible(bool visible) { visible_ = visible; }
    WindowGeometry& Geometry() { return geometry_; }
    const WindowGeometry& Geometry() const { return geometry_; }

    // Creates a control owned by the form; the reference stays valid as long as the form lives.
    // A name already used in the form (in any case) throws std::invalid_argument: two controls of
    // one name would make macros act on the wrong one. Unnamed controls are allowed and never found.
    Control& Add(std::string name, ControlKind kind);

    // Case-insensitive lookup; nullptr when the form has no control of that name.
    Control* Find(std::string_view name) const;

    // Gives a control of this form a new name. Refused (false) when another control of the form
    // already has that name, when the new name is empty, or when the control is not this form's.
    // Afterwards only the new name finds it.
    bool Rename(Control& control, std::string newName);

    // Controls in creation order.
    std::size_t ControlCount() const { return controls_.size(); }
    Control& ControlAt(std::size_t index) const { return *controls_.at(index); }

    bool ActionsSuppressed() const { return suppressDepth_ > 0; }

  private:
    friend class SuppressActions;

    std::string name_;
    std::string caption_;
    bool visible_ = false;
    WindowGeometry geometry_;
    std::vector<std::unique_ptr<Control>> controls_;
    std::unordered_map<std::string, Control*> byName_; // key: ControlNameKey
    int suppressDepth_ = 0;
};

// The windows in the order in which a control name is searched. It does not own them: the
// windows live for the whole run.
class FormRegistry {
  public:
    // Appends a form to the search order; a form already registered keeps its place (false).
    bool Add(Form& form);

    // The first form in search order that has a control of that name wins; nullptr if none.
    Control* FindControlByName(std::string_view name) const;
    // Forms by name, case-insensitively.
    Form* FindForm(std::string_view name) const;

    std::size_t FormCount() const { return forms_.size(); }
    Form& FormAt(std::size_t index) const { return *forms_.at(index); }

  private:
    std::vector<Form*> forms_;
};

} // namespace kreisel
