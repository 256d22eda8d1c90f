// Building the help texts from the components file, the key hints and the mouse help.
#include "shell/MouseHelp.h"

#include "core/Text.h"
#include "macros/MacroText.h"
#include "shell/ComponentsFile.h"

namespace kreisel {

// References: a copy made during static initialisation could be taken before the marks themselves
// exist (they live in another file), and would then be empty.
const std::string& MouseHelp::NameMark = kHintNameMark;
const std::string& MouseHelp::KeySeparator = kKeySeparator;
const std::string& MouseHelp::SequenceSeparator = kSequenceSeparator;

MouseHelp::MouseHelp(Form& main, FormRegistry& forms, TFormLoops& loops, TFormMacros& macros,
                     const KeyHandler& keys, const SynonymList& synonyms)
    : MIMouseHelp(make::Menu(main, "MIMouseHelp", "Assistent (Maus-Hilfe)", true)),
      ButtonHelpMacros(make::Button(macros, "ButtonHelpMacros", "Hilfe+Beispiele", "Hilfe und Beispiele zu Makros")),
      forms_(forms), loops_(loops),
      macros_(macros), keys_(keys), synonyms_(synonyms) {
    MIMouseHelp.SetHint("Maus-Hilfe ein/aus (F2)");
    MIMouseHelp.SetOnClick([this](Control&) { MIMouseHelpClick(); });
    ButtonHelpMacros.SetOnClick([this](Control&) {
        if (OpenHelp) OpenHelp(MacroHelpContext);
    });
}

std::string MouseHelp::ShortPart(const std::string& hint) {
    return hint.substr(0, hint.find('|'));
}

std::string MouseHelp::LongPart(const std::string& hint) {
    const std::size_t bar = hint.find('|');
    return bar == std::string::npos ? std::string() : hint.substr(bar + 1);
}

int MouseHelp::HelpLink(const std::string& text) {
    return HelpLinkOf(text);
}

bool MouseHelp::LoadComponentsFile(const std::filesystem::path& file) {
    std::vector<std::string> lines;
    if (!ReadTextLines(file, lines)) return false;
    BuildHelpTexts(lines);
    return true;
}

int MouseHelp::BuildHelpTexts(const std::vector<std::string>& componentsList) {
    Control& errorsText = macros_.MemoCompsErrors;
    std::vector<std::string> errors = {"Errors:", std::string(50, '=')};
    const int count = ApplyComponentsList(forms_, componentsList, macros_.CBLoadCaptions.Checked(), errors);
    macros_.MemoComps.SetLines({});
    macros_.MemoComps.SetVisible(false);
    if (count > 0) {
        errors.push_back(std::string(50, '#'));
        errors.push_back("## " + std::to_string(count) + " Errors found!");
        errors.push_back("## (End of Errors)");
        errors.push_back(std::string(50, '#'));
        errors.push_back("## (" + errorsText.Hint().substr(0, errorsText.Hint().find('|')) + ")");
    }
    errorsText.SetLines(std::move(errors));
    errorsText.SetVisible(count > 0);
    CopyPerLoopHints();
    AddKeyHints();
    return count;
}

void MouseHelp::CopyPerLoopHints() {
    // Slot 1 carries the texts of every row; each copy names its own control after the mark.
    const MixerRowControls& first = loops_.MixerRows[1];
    for (std::size_t slot = 2; slot < loops_.MixerRows.size(); ++slot) {
        const MixerRowControls& row = loops_.MixerRows[slot];
        const std::pair<Control*, Control*> pairs[] = {
            {first.Marker, row.Marker},     {first.Play, row.Play},         {first.AmpLeft, row.AmpLeft},
            {first.AmpRight, row.AmpRight}, {first.PanLeft, row.PanLeft}, {first.PanRight, row.PanRight},
            {first.Graph, row.Graph}};
        for (const auto& [from, to] : pairs) {
            if (from == nullptr || to == nullptr) continue;
            std::string hint = from->Hint();
            if (const std::size_t mark = hint.find(NameMark); mark != std::string::npos)
                hint = hint.substr(0, mark) + NameMark + to->Name();
            to->SetHint(hint);
        }
    }
}

void MouseHelp::AddKeyHints() {
    // Keys added by an earlier build go first, so that a control the new list leaves out does
    // not collect its keys twice.
    for (std::size_t f = 0; f < forms_.FormCount(); ++f) {
        const Form& form = forms_.FormAt(f);
        for (std::size_t i = 0; i < form.ControlCount(); ++i) {
            Control& c = form.ControlAt(i);
            const std::string& hint = c.Hint();
            if (hint.find(KeySeparator) == std::string::npos && hint.find(SequenceSeparator) == std::string::npos)
                continue;
            const std::size_t mark = hint.find(NameMark);
            c.SetHint(PlainHint(hint) + (mark == std::string::npos ? std::string() : hint.substr(mark)));
        }
    }
    // From the highest key index down, so that the lowest ends up first.
    for (int key = kKeyCount; key >= 1; --key) {
        const std::string& command = keys_.KeyCommand[static_cast<std::size_t>(key)];
        if (command.empty()) continue;
        const bool sequence = key >= kFirstSequenceKey;
        const std::string keyName = KeyIndexToName(key);
        std::string keyText;
        if (sequence) {
            for (const char press : NumberToSequence(key - 71))
                keyText += std::string(keyText.empty() ? "" : "-") + (press == '1' ? "kurz" : "lang");
        } else {
            keyText = keyName.substr(keyName.find('_') + 1);
        }
        keyText = "[" + keyText + "]";
        const std::string upper = UpperAscii(command);
        for (int w = 1; w <= 4; ++w) {
            const std::string word = GetField(upper, w, " ");
            if (word.empty()) continue;
            Control* control = forms_.FindControlByName(synonyms_.Translate(word));
            if (control == nullptr) continue;
            const std::string& hint = control->Hint();
            const std::size_t bar = hint.find('|');
            std::string shortPart = hint.substr(0, bar);
            std::string longPart = bar == std::string::npos ? std::string() : hint.substr(bar + 1);
            if (!sequence) {
                if (shortPart.find(KeySeparator) == std::string::npos) shortPart = KeySeparator + shortPart;
                shortPart = "Taste=" + keyText + "    " + shortPart;
            }
            if (longPart.find(SequenceSeparator) == std::string::npos) longPart = SequenceSeparator + longPart;
            longPart = (sequence ? "Steuersequenz=" : "Taste=") + keyText + "    " + longPart;
            control->SetHint(shortPart + "|" + longPart);
        }
    }
}

void MouseHelp::DisplayHelp(const std::string& hint, bool ctrl, bool shift) {
    std::string text = LongPart(hint);
    const int link = HelpLink(text);
    HelpContextCurrent = link > 0 ? link : DefaultHelpContext;
    if (!MIMouseHelp.Checked()) return;
    const std::size_t mark = text.find(NameMark);
    if (!ctrl && !shift) {
        text = text.substr(0, mark);
        const std::size_t f1 = text.find("F1=");
        text = text.substr(0, f1);
        if (f1 != std::string::npos) text += "(Weitere Hilfe hierzu mit F1)";
    } else if (ctrl && mark != std::string::npos) {
        const std::string name = text.substr(mark + NameMark.size());
        text = "\r\nName des Bedien-Elementes in Makros:\r\n\r\n";
        bool found = false;
        for (const std::string& raw : synonyms_.Lines()) {
            const std::string line = CodePart(raw);
            const std::size_t eq = line.find("==");
            if (eq == std::string::npos) continue;
            const std::string right = GetField(line.substr(eq + 2), 1, "#");
            if (!SameControlName(right, name)) continue;
            text += GetField(line.substr(0, eq), 1, "#") + "\r\n";
            found = true;
        }
        if (shift) {
            text += "(intern: " + name + ")";
            if (link > 0) text += "\r\nF1-Link=" + std::to_string(link);
        } else if (!found) {
            text += name;
        }
    } else {
        return;
    }
    Window.MemoMouseHelp.SetLines(SplitLines(text));
}

void MouseHelp::MIMouseHelpClick() {
    HelpContextCurrent = DefaultHelpContext;
    ApplyMouseHelpSetting();
}

void MouseHelp::ApplyMouseHelpSetting() {
    const bool on = MIMouseHelp.Checked();
    Window.SetVisible(on);
    if (on && BringToFront) BringToFront();
    if (FocusMain) FocusMain();
}

void MouseHelp::WindowClosed() {
    SuppressActions quiet(MIMouseHelp);
    MIMouseHelp.SetChecked(false);
    Window.SetVisible(false);
}

} // namespace kreisel
