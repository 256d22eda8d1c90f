// Markdown to HTML for the user guide.
#include "shell/HelpPages.h"

#include <algorithm>
#include <cctype>

namespace kreisel {

namespace {

std::string Escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Inline marks: `code`, **strong**, *emphasis*, ![picture](file) and [link](target).
std::string Inline(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '`') {
            const std::size_t end = text.find('`', i + 1);
            if (end != std::string_view::npos) {
                out += "<code>" + Escape(text.substr(i + 1, end - i - 1)) + "</code>";
                i = end + 1;
                continue;
            }
        }
        if (c == '*' && text.substr(i, 2) == "**") {
            const std::size_t end = text.find("**", i + 2);
            if (end != std::string_view::npos) {
                out += "<strong>" + Inline(text.substr(i + 2, end - i - 2)) + "</strong>";
                i = end + 2;
                continue;
            }
        }
        if (c == '*' && i + 1 < text.size() && text[i + 1] != ' ') {
            const std::size_t end = text.find('*', i + 1);
            if (end != std::string_view::npos && end > i + 1) {
                out += "<em>" + Inline(text.substr(i + 1, end - i - 1)) + "</em>";
                i = end + 1;
                continue;
            }
        }
        const bool picture = c == '!' && i + 1 < text.size() && text[i + 1] == '[';
        if (c == '[' || picture) {
            const std::size_t open = picture ? i + 1 : i;
            const std::size_t close = text.find("](", open);
            const std::size_t end = close == std::string_view::npos ? close : text.find(')', close);
            if (end != std::string_view::npos) {
                const std::string_view label = text.substr(open + 1, close - open - 1);
                const std::string_view target = text.substr(close + 2, end - close - 2);
                if (picture)
                    out += "<img src=\"" + Escape(target) + "\" alt=\"" + Escape(label) + "\">";
                else
                    out += "<a href=\"" + Escape(target) + "\">" + Inline(label) + "</a>";
                i = end + 1;
                continue;
            }
        }
        out += Escape(text.substr(i, 1));
        ++i;
    }
    return out;
}

// Table cells, split at '|' outside of inline code.
std::vector<std::string_view> Cells(std::string_view row) {
    row = Trim(row);
    if (!row.empty() && row.front() == '|') row.remove_prefix(1);
    if (!row.empty() && row.back() == '|') row.remove_suffix(1);
    std::vector<std::string_view> cells;
    bool code = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (row[i] == '`') code = !code;
        if (row[i] == '|' && !code) {
            cells.push_back(Trim(row.substr(start, i - start)));
            start = i + 1;
        }
    }
    cells.push_back(Trim(row.substr(start)));
    return cells;
}

bool IsRule(std::string_view row) {
    for (const char c : row)
        if (c != '|' && c != '-' && c != ':' && c != ' ') return false;
    return row.find('-') != std::string_view::npos;
}

bool Ordered(std::string_view line, std::size_t& textAt) {
    std::size_t i = 0;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])))
        ++i;
    if (i == 0 || i + 1 >= line.size() || line[i] != '.' || line[i + 1] != ' ') return false;
    textAt = i + 2;
    return true;
}

} // namespace

std::string HeadingAnchor(std::string_view heading) {
    std::string out;
    for (std::size_t i = 0; i < heading.size(); ++i) {
        const char c = heading[i];
        const auto u = static_cast<unsigned char>(c);
        // Umlauts and the other Latin-1 letters stay (in lower case); other signs (dashes) go.
        if (u == 0xC3 && i + 1 < heading.size()) {
            auto next = static_cast<unsigned char>(heading[++i]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) next = static_cast<unsigned char>(next + 0x20);
            out += c;
            out += static_cast<char>(next);
        } else if (u < 0x80 && std::isalnum(u))
            out += static_cast<char>(std::tolower(u));
        else if ((c == ' ' || c == '-') && !out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-')
        out.pop_back();
    return out;
}

std::string MarkdownToHtml(std::string_view markdown, std::string_view title) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start <= markdown.size();) {
        std::size_t end = markdown.find('\n', start);
        if (end == std::string_view::npos) end = markdown.size();
        std::string_view line = markdown.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    std::string out = "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                      Escape(title) +
                      "</title>\n<style>\nbody { font-family: sans-serif; max-width: 60em; margin: 1em auto; "
                      "padding: 0 1em; line-height: 1.45; }\n"
                      "code, pre { background: #f3f3f3; } pre { padding: .6em; overflow-x: auto; }\n"
                      "table { border-collapse: collapse; } td, th { border: 1px solid #bbb; padding: .2em .5em; "
                      "vertical-align: top; }\nimg { max-width: 100%; }\n</style>\n</head>\n<body>\n";
    std::string paragraph;
    auto flush = [&] {
        if (!paragraph.empty()) out += "<p>" + Inline(paragraph) + "</p>\n";
        paragraph.clear();
    };
    std::string list; // "ul" or "ol" while a list is open
    auto closeList = [&] {
        if (!list.empty()) out += "</li>\n</" + list + ">\n";
        list.clear();
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::string_view trimmed = Trim(line);
        if (trimmed.rfind("```", 0) == 0) {
            flush();
            closeList();
            out += "<pre><code>";
            for (++i; i < lines.size() && Trim(lines[i]).rfind("```", 0) != 0; ++i)
                out += Escape(lines[i]) + "\n";
            out += "</code></pre>\n";
            continue;
        }
        if (trimmed.empty()) {
            flush();
            closeList();
            continue;
        }
        if (line[0] == '#') {
            flush();
            closeList();
            std::size_t level = 0;
            while (level < line.size() && line[level] == '#')
                ++level;
            const std::string_view text = Trim(line.substr(level));
            const std::string h = "h" + std::to_string(std::min<std::size_t>(level, 6));
            out += "<" + h + " id=\"" + HeadingAnchor(text) + "\">" + Inline(text) + "</" + h + ">\n";
            continue;
        }
        if (trimmed.front() == '|' && i + 1 < lines.size() && IsRule(Trim(lines[i + 1]))) {
            flush();
            closeList();
            out += "<table>\n<tr>";
            for (std::string_view cell : Cells(trimmed))
                out += "<th>" + Inline(cell) + "</th>";
            out += "</tr>\n";
            for (i += 2; i < lines.size() && Trim(lines[i]).rfind('|', 0) == 0; ++i) {
                out += "<tr>";
                for (std::string_view cell : Cells(lines[i]))
                    out += "<td>" + Inline(cell) + "</td>";
                out += "</tr>\n";
            }
            --i;
            out += "</table>\n";
            continue;
        }
        std::size_t textAt = 0;
        const bool bullet = (trimmed.rfind("- ", 0) == 0 || trimmed.rfind("* ", 0) == 0) && line[0] != ' ';
        const bool number = line[0] != ' ' && Ordered(trimmed, textAt);
        if (bullet || number) {
            flush();
            const std::string kind = bullet ? "ul" : "ol";
            if (list != kind) {
                closeList();
                out += "<" + kind + ">\n<li>";
                list = kind;
            } else {
                out += "</li>\n<li>";
            }
            out += Inline(trimmed.substr(bullet ? 2 : textAt));
            continue;
        }
        if (!list.empty()) {
            // A continuation line of the list item.
            out += " " + Inline(trimmed);
            continue;
        }
        if (!paragraph.empty()) paragraph += ' ';
        paragraph += std::string(trimmed);
    }
    flush();
    closeList();
    out += "</body>\n</html>\n";
    return out;
}

std::map<int, std::string> ReadHelpLinks(const std::vector<std::string>& lines) {
    std::map<int, std::string> links;
    for (const std::string& raw : lines) {
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const std::string_view number = Trim(line.substr(0, eq));
        int n = 0;
        bool ok = !number.empty();
        for (const char c : number) {
            if (c < '0' || c > '9' || n > 99999999) {
                ok = false;
                break;
            }
            n = n * 10 + (c - '0');
        }
        if (ok) links[n] = HeadingAnchor(Trim(line.substr(eq + 1)));
    }
    return links;
}

std::string HelpLinkPage(std::string_view guideFile, std::string_view anchor) {
    const std::string target = Escape(guideFile) + "#" + Escape(anchor);
    return "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"refresh\" content=\"0; url=" +
           target + "\">\n<title>Kreisel - Hilfe</title>\n</head>\n<body>\n<p><a href=\"" + target +
           "\">Weiter zum Benutzerhandbuch</a></p>\n</body>\n</html>\n";
}

} // namespace kreisel
