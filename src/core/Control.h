// Control: one named element of a window as a model object. The engine reads settings from
// controls, macros and key files set and click them by name, settings files store them by name,
// and the Qt views only mirror them; so the rules of what a click or a new value does live here.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kreisel {

class Form;

enum class ControlKind {
    SwitchButton, // tool and speed buttons that stay down
    Button,
    CheckBox,
    NumberField, // spin edit
    Slider,
    ComboBox,
    RadioButton,
    Label,
    Panel,
    Edit,
    TextEditor, // multi-line memo
    MenuEntry,  // may carry a check mark
    Shape,
    PaintBox,
};

enum class Orientation { Horizontal, Vertical };

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Zero position of a slider by its name: the mixer's input and output level sliders sit at 38,
// amplitude sliders at 4, panorama sliders at 8, everything else at 0. Case does not matter.
int TrackBarNorm(std::string_view name);

// Compares control names the way macros, key files and the components file do: ASCII letters
// without regard to case, every other byte exactly.
bool SameControlName(std::string_view a, std::string_view b);
std::string ControlNameKey(std::string_view name); // ASCII upper case, for indexes

class Control {
  public:
    using Action = std::function<void(Control&)>;

    Control(std::string name, ControlKind kind);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return name_; } // renamed only through Form::Rename
    ControlKind Kind() const { return kind_; }
    Form* Owner() const { return owner_; }

    // --- State. The setters are the program's (and the views') way to change a control: they
    // work on disabled controls too, clamp to the range and run the change action only when the
    // state really changes. Use SuppressActions to change state without running any action.

    // Slider position, number field value, combo box item index: one integer per control.
    int Value() const { return value_; }
    int Position() const { return value_; }
    int ItemIndex() const { return value_; }
    void SetValue(int v);
    void SetPosition(int v) { SetValue(v); }
    void SetItemIndex(int index); // outside the items: -1, nothing selected

    int Min() const { return min_; }
    int Max() const { return max_; }
    // A maximum below the minimum is raised to it. The value is clamped into the new range
    // (which runs the change action when that moves it). A number field with Min() == Max()
    // has no limits, as a spin edit does.
    void SetRange(int min, int max);

    bool Down() const { return on_; }
    bool Checked() const { return on_; }
    // Switch buttons in a group (GroupIndex() != 0): going down releases the other buttons of
    // that group in the form; going up is refused unless AllowAllUp().
    void SetDown(bool down);
    // Radio buttons: checking one unchecks the radio buttons of the same GroupIndex() in the form.
    void SetChecked(bool checked);

    int GroupIndex() const { return groupIndex_; }
    void SetGroupIndex(int group) { groupIndex_ = group; }
    bool AllowAllUp() const { return allowAllUp_; }
    void SetAllowAllUp(bool allow) { allowAllUp_ = allow; }
    // Menu entries: whether a user's click toggles the check mark.
    bool AutoCheck() const { return autoCheck_; }
    void SetAutoCheck(bool autoCheck) { autoCheck_ = autoCheck; }

    Orientation SliderOrientation() const { return orientation_; }
    void SetOrientation(Orientation o) { orientation_ = o; }
    // TrackBarNorm of the current name unless overridden for this control.
    int ZeroPosition() const;
    void SetZeroPosition(std::optional<int> zero) { zero_ = zero; }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }

    // Caption of buttons, labels, panels, menu entries; the text of an edit field (where a change
    // runs the change action, as typing does).
    const std::string& Text() const { return text_; }
    void SetText(std::string text);
    // The same, keeping the text's storage: a display refreshed on every block allocates
    // nothing once its text has been as long as it gets.
    void AssignText(std::string_view text);
    const std::string& Hint() const { return hint_; }
    void SetHint(std::string hint) { hint_ = std::move(hint); }
    int Tag() const { return tag_; }
    void SetTag(int tag) { tag_ = tag; }
    int HelpContext() const { return helpContext_; }
    void SetHelpContext(int context) { helpContext_ = context; }

    // Unset colours mean the platform's default.
    std::optional<Rgb> Color() const { return color_; }
    void SetColor(std::optional<Rgb> color) { color_ = color; }
    std::optional<Rgb> FontColor() const { return fontColor_; }
    void SetFontColor(std::optional<Rgb> color) { fontColor_ = color; }

    // Combo box items. Replacing them drops a selection that no longer exists.
    const std::vector<std::string>& Items() const { return items_; }
    void SetItems(std::vector<std::string> items);

    // Text editor lines; a change runs the change action.
    const std::vector<std::string>& Lines() const { return lines_; }
    void SetLines(std::vector<std::string> lines);
    void AddLine(std::string line);

    // --- Actions.
    void SetOnClick(Action action) { onClick_ = std::move(action); }
    void SetOnChange(Action action) { onChange_ = std::move(action); }
    // A double click (labels and panels that have one); a disabled control ignores it.
    void SetOnDblClick(Action action) { onDblClick_ = std::move(action); }
    void DblClick();
    // Runs the click action, as program code calling a handler does; the state is left alone.
    void Click();
    // What a user's mouse press does: switch buttons go down or up (group rules above), check
    // boxes and auto-check menu entries toggle, radio buttons get checked; then the click action
    // runs. A disabled control ignores it.
    void UserClick();
    // What a user's drag, spin or selection does: the value of a slider, number field or combo
    // box. A disabled control ignores it.
    void UserSetValue(int v);

    bool ActionsSuppressed() const;

  private:
    friend class Form;
    friend class SuppressActions;

    void SetOn(bool on);
    void RunChange();
    void RunClick();
    int Clamp(long long v) const;
    void ReleaseGroupPeers();

    std::string name_;
    ControlKind kind_;
    Form* owner_ = nullptr;
    int value_ = 0;
    int min_ = 0;
    int max_ = 0;
    bool on_ = false;
    int groupIndex_ = 0;
    bool allowAllUp_ = false;
    bool autoCheck_ = false;
    Orientation orientation_ = Orientation::Horizontal;
    std::optional<int> zero_;
    bool enabled_ = true;
    bool visible_ = true;
    std::string text_;
    std::string hint_;
    int tag_ = 0;
    int helpContext_ = 0;
    std::optional<Rgb> color_;
    std::optional<Rgb> fontColor_;
    std::vector<std::string> items_;
    std::vector<std::string> lines_;
    Action onClick_;
    Action onChange_;
    Action onDblClick_;
    int suppressDepth_ = 0;
};

// While a guard lives, no action of its control (or of every control of its form) runs: the
// setters change the state silently, Click() and UserClick() run no handler. This is how the
// program puts controls in step without triggering their handlers (loading settings, a tool
// button mirroring a check box). Guards nest.
class SuppressActions {
  public:
    explicit SuppressActions(Control& control);
    explicit SuppressActions(Form& form);
    ~SuppressActions();
    SuppressActions(const SuppressActions&) = delete;
    SuppressActions& operator=(const SuppressActions&) = delete;

  private:
    Control* control_ = nullptr;
    Form* form_ = nullptr;
};

// Properties a macro can read (MIN, MAX, NOW, ZERO); 0 and 3 both read the value.
enum ControlProperty : int { PropValue = 0, PropMin = 1, PropMax = 2, PropNow = 3, PropZero = 4 };

// A control's value as macros see it. Switch buttons and check boxes read 1 or 0 for every
// property; number fields their value and bounds; sliders relative to their zero position, with
// vertical sliders inverted so that larger always means higher; anything else 0.
int GetControlValue(const Control& control, int property);

// Sets a control as a macro does, exactly as a user would operate it. A disabled control is left
// alone. Switch buttons take v > 0 (or the opposite of their state with invert) and always run
// their click action; buttons are clicked; check boxes change only when the state differs;
// number fields take v; sliders go to zero + v (horizontal) or zero - v (vertical), clamped.
void SetControlValue(Control& control, int v, bool invert);

} // namespace kreisel
