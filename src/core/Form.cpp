// Forms own their controls and keep a name index in step with renames; the registry searches the
// forms in macro order.
#include "core/Form.h"

#include <algorithm>
#include <stdexcept>

namespace kreisel {

Form::Form(std::string name, std::string caption) : name_(std::move(name)), caption_(std::move(caption)) {}

Control& Form::Add(std::string name, ControlKind kind) {
    std::string key = ControlNameKey(name);
    if (!key.empty() && byName_.count(key) != 0)
        throw std::invalid_argument("Form " + name_ + ": control name used twice: " + name);
    auto control = std::make_unique<Control>(std::move(name), kind);
    control->owner_ = this;
    Control& added = *control;
    controls_.push_back(std::move(control));
    if (!key.empty()) byName_.emplace(std::move(key), &added);
    return added;
}

Control* Form::Find(std::string_view name) const {
    if (name.empty()) return nullptr;
    auto it = byName_.find(ControlNameKey(name));
    return it == byName_.end() ? nullptr : it->second;
}

bool Form::Rename(Control& control, std::string newName) {
    if (control.owner_ != this || newName.empty()) return false;
    std::string newKey = ControlNameKey(newName);
    auto existing = byName_.find(newKey);
    if (existing != byName_.end() && existing->second != &control) return false;
    if (!control.name_.empty()) byName_.erase(ControlNameKey(control.name_));
    if (control.name_ != newName) ++control.revision_;
    control.name_ = std::move(newName);
    byName_[newKey] = &control;
    return true;
}

bool FormRegistry::Add(Form& form) {
    if (std::find(forms_.begin(), forms_.end(), &form) != forms_.end()) return false;
    forms_.push_back(&form);
    return true;
}

Control* FormRegistry::FindControlByName(std::string_view name) const {
    for (Form* form : forms_)
        if (Control* control = form->Find(name)) return control;
    return nullptr;
}

Form* FormRegistry::FindForm(std::string_view name) const {
    for (Form* form : forms_)
        if (SameControlName(form->Name(), name)) return form;
    return nullptr;
}

} // namespace kreisel
