// The components file written from the window models.
#include "shell/ComponentsFile.h"

#include <gtest/gtest.h>

namespace kreisel {
namespace {

TEST(ComponentsFile, EntriesHelpLinesAndFieldsThatWouldBreakTheFormat) {
    Form form("FormTest", "Test;Fenster");
    form.Add("SBGo", ControlKind::SwitchButton).SetText("Los");
    form.Find("SBGo")->SetHint("kurz|erste Zeile\r\nzweite Zeile");
    form.Add("LabelState", ControlKind::Label).SetText("läuft");
    form.Add("TBLevel", ControlKind::Slider).SetText("ignored");
    form.Add("", ControlKind::Panel);
    FormRegistry forms;
    forms.Add(form);

    const std::string text = ComponentsFileText(forms);
    const std::string body = text.substr(text.find("\nFormTest"));
    EXPECT_EQ(body, "\nFormTest;Test,Fenster;;\n"
                    " - SBGo;Los;kurz;\n"
                    "\terste Zeile\n"
                    "\tzweite Zeile\n"
                    " - LabelState;[dyn];;\n"
                    " - TBLevel;;;\n");
}

} // namespace
} // namespace kreisel
