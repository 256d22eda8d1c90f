// The user guide as local HTML pages for the desktop's browser: a small Markdown converter for
// what the guide uses (headings, paragraphs, lists, tables, code blocks, inline code, emphasis,
// links and pictures), anchors on every heading, and one page per help link that leads to its
// section, so that F1 opens the guide where the control under the pointer belongs.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace kreisel {

// The anchor of a heading: lower case, letters and digits kept (umlauts too), blanks and dashes
// become "-", everything else is dropped.
std::string HeadingAnchor(std::string_view heading);

// The whole guide as one HTML page.
std::string MarkdownToHtml(std::string_view markdown, std::string_view title);

// Help links: lines "number=heading" ('#' starts a comment); the heading's anchor by link.
std::map<int, std::string> ReadHelpLinks(const std::vector<std::string>& lines);

// A page that leads on to the guide's section at once.
std::string HelpLinkPage(std::string_view guideFile, std::string_view anchor);

} // namespace kreisel
