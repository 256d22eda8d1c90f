// The components file and the help pages: the file as written from the window models, the
// Markdown converter, and the shipped files against the program as it is (every control has its
// entry, every entry its control, and every help link its section of the user guide).
#include "core/Text.h"
#include "macros/MacroText.h"
#include "scenarios/Stage.h"
#include "shell/ComponentsFile.h"
#include "shell/HelpPages.h"
#include "support/ScratchFiles.h"

#include <set>

namespace kreisel::test {
namespace {

const std::filesystem::path kSource = KREISEL_SOURCE_DIR;

class ShippedHelp : public Stage {};

TEST_F(ShippedHelp, ComponentsFileNamesExactlyTheControlsAndGivesThemTheirTexts) {
    const std::filesystem::path file = kSource / "data" / "Kreisel.CTR";
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextLines(file, lines)) << file;
    // Exported from the controls as they are, with the file's texts kept, it must read the same.
    const std::vector<std::string> shipped = SplitLines(ReadBytes(file));
    const std::vector<std::string> wanted = SplitLines(UpdatedComponentsFileText(core->Forms(), lines));
    std::size_t same = 0;
    while (same < shipped.size() && same < wanted.size() && shipped[same] == wanted[same])
        ++same;
    EXPECT_TRUE(same == shipped.size() && same == wanted.size())
        << "data/Kreisel.CTR differs from the controls in line " << same + 1 << ": "
        << (same < shipped.size() ? shipped[same] : "(end)") << "\nRegenerate it with cmake --build build "
        << "--target update-components, and write texts for the new entries.";

    // Captions the program leaves empty (loop switches) are the program's to set.
    std::set<const Control*> captionedBefore;
    for (std::size_t f = 0; f < core->Forms().FormCount(); ++f)
        for (std::size_t i = 0; i < core->Forms().FormAt(f).ControlCount(); ++i)
            if (!core->Forms().FormAt(f).ControlAt(i).Text().empty())
                captionedBefore.insert(&core->Forms().FormAt(f).ControlAt(i));
    EXPECT_EQ(core->HelpTexts().BuildHelpTexts(lines), 0);
    std::string withoutToolTip;
    int shown = 0;
    for (std::size_t f = 0; f < core->Forms().FormCount(); ++f) {
        const Form& form = core->Forms().FormAt(f);
        for (std::size_t i = 0; i < form.ControlCount(); ++i) {
            const Control& c = form.ControlAt(i);
            if (c.Name().empty() || c.Tag() == -8888) continue;
            // The hint came from the file when it carries the control's name.
            EXPECT_NE(c.Hint().find(kHintNameMark + c.Name()), std::string::npos)
                << form.Name() << '.' << c.Name();
            const ControlKind k = c.Kind();
            const bool captioned = k == ControlKind::SwitchButton || k == ControlKind::Button ||
                                   k == ControlKind::CheckBox || k == ControlKind::RadioButton ||
                                   k == ControlKind::MenuEntry;
            // Sliders, number fields and value labels have no caption to say what they are; a
            // label named "...Caption" or "...Unit" only names its neighbour.
            const std::string& n = c.Name();
            const bool namesOther = (n.size() > 7 && n.compare(n.size() - 7, 7, "Caption") == 0) ||
                                    (n.size() > 4 && n.compare(n.size() - 4, 4, "Unit") == 0);
            const bool valued = k == ControlKind::Slider || k == ControlKind::NumberField ||
                                (k == ControlKind::Label && !namesOther);
            if (!c.Visible() || !(captioned || valued)) continue;
            ++shown;
            if (captioned && captionedBefore.count(&c) != 0) {
                EXPECT_FALSE(c.Text().empty()) << "no caption: " << form.Name() << '.' << c.Name();
            }
            if (c.Hint().rfind('|', 0) == 0) withoutToolTip += " " + form.Name() + '.' + n;
        }
    }
    // Every shown control but a caption label explains itself in its tool tip.
    EXPECT_EQ(withoutToolTip, "") << "of " << shown << " shown controls";
}

TEST_F(ShippedHelp, EveryHelpLinkLeadsToASectionOfTheGuide) {
    std::vector<std::string> links;
    ASSERT_TRUE(ReadTextLines(kSource / "docs" / "hilfe-links.txt", links));
    const std::map<int, std::string> anchors = ReadHelpLinks(links);
    ASSERT_TRUE(anchors.count(1000) && anchors.count(1600)); // the default and the macro help
    const std::string html = MarkdownToHtml(ReadBytes(kSource / "docs" / "Benutzerhandbuch.md"), "Kreisel");
    for (const auto& [link, anchor] : anchors)
        EXPECT_NE(html.find("id=\"" + anchor + "\""), std::string::npos) << link << " = " << anchor;

    std::vector<std::string> components;
    ASSERT_TRUE(ReadTextLines(kSource / "data" / "Kreisel.CTR", components));
    for (const std::string& line : components) {
        const int link = HelpLinkOf(line);
        if (link > 0) {
            EXPECT_TRUE(anchors.count(link)) << "F1=" << link << " has no entry in docs/hilfe-links.txt";
        }
    }
}

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

TEST(HelpPages, GuideConstructsBecomeHtmlWithAnchorsAndEscapes) {
    const std::string html =
        MarkdownToHtml("# Kreisel – Kurzanleitung\n"
                       "Ein **Looper** mit *Maus-Hilfe* & <Tasten>, siehe [Makros](#makros).\n"
                       "zweite Zeile\n\n"
                       "## Stimmgerät, Stimm-Ton\n"
                       "- eins `a<b`\n"
                       "- zwei\n\n"
                       "1. erst\n"
                       "2. dann\n\n"
                       "| Anweisung | Wirkung |\n"
                       "|---|---|\n"
                       "| `WAIT n [SEC|BEAT]` | wartet |\n\n"
                       "```\n# kein Titel <x>\n```\n"
                       "![Bild](bilder/FormKreisel.png)\n",
                       "T");
    for (const char* part :
         {"<h1 id=\"kreisel-kurzanleitung\">Kreisel – Kurzanleitung</h1>",
          "<p>Ein <strong>Looper</strong> mit <em>Maus-Hilfe</em> &amp; &lt;Tasten&gt;, siehe <a "
          "href=\"#makros\">Makros</a>. zweite Zeile</p>",
          "<h2 id=\"stimmgerät-stimm-ton\">", "<ul>\n<li>eins <code>a&lt;b</code></li>\n<li>zwei</li>\n</ul>",
          "<ol>\n<li>erst</li>\n<li>dann</li>\n</ol>", "<tr><th>Anweisung</th><th>Wirkung</th></tr>",
          "<tr><td><code>WAIT n [SEC|BEAT]</code></td><td>wartet</td></tr>",
          "<pre><code># kein Titel &lt;x&gt;\n</code></pre>",
          "<img src=\"bilder/FormKreisel.png\" alt=\"Bild\">"})
        EXPECT_NE(html.find(part), std::string::npos) << part << "\n--- in ---\n" << html;

    const auto links = ReadHelpLinks({"# Kommentar", "1600 = Makros", "x=y", "1200=Stimmgerät, Stimm-Ton"});
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links.at(1200), "stimmgerät-stimm-ton");
    EXPECT_NE(HelpLinkPage("index.html", "makros").find("url=index.html#makros"), std::string::npos);
}

} // namespace
} // namespace kreisel::test
