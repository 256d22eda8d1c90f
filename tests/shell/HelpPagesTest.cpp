// The Markdown converter of the help pages.
#include "shell/HelpPages.h"

#include <gtest/gtest.h>

namespace kreisel {
namespace {

TEST(HelpPages, GuideConstructsBecomeHtmlWithAnchorsAndEscapes) {
    const std::string html = MarkdownToHtml("# Kreisel – Kurzanleitung\n"
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
          "<pre><code># kein Titel &lt;x&gt;\n</code></pre>", "<img src=\"bilder/FormKreisel.png\" alt=\"Bild\">"})
        EXPECT_NE(html.find(part), std::string::npos) << part << "\n--- in ---\n" << html;

    const auto links = ReadHelpLinks({"# Kommentar", "1600 = Makros", "x=y", "1200=Stimmgerät, Stimm-Ton"});
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links.at(1200), "stimmgerät-stimm-ton");
    EXPECT_NE(HelpLinkPage("index.html", "makros").find("url=index.html#makros"), std::string::npos);
}

} // namespace
} // namespace kreisel
