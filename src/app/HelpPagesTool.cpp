// kreisel_help_pages GUIDE.md LINKS.txt FOLDER: the user guide as FOLDER/index.html and one page
// FOLDER/<link>.html per help link, which the program's F1 opens. Run by the build.
#include "macros/MacroText.h"
#include "shell/HelpPages.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::cerr << "usage: kreisel_help_pages GUIDE.md LINKS.txt FOLDER\n";
        return 2;
    }
    namespace fs = std::filesystem;
    std::ifstream guide(argv[1], std::ios::binary);
    std::stringstream markdown;
    markdown << guide.rdbuf();
    std::vector<std::string> linkLines;
    if (!guide || !kreisel::ReadTextLines(argv[2], linkLines)) {
        std::cerr << "kreisel_help_pages: cannot read " << argv[1] << " or " << argv[2] << '\n';
        return 1;
    }
    const fs::path folder = argv[3];
    std::error_code ec;
    fs::create_directories(folder, ec);
    auto write = [&folder](const std::string& name, const std::string& text) {
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out << text;
        return static_cast<bool>(out);
    };
    bool ok = write("index.html", kreisel::MarkdownToHtml(markdown.str(), "Kreisel - Benutzerhandbuch"));
    for (const auto& [link, anchor] : kreisel::ReadHelpLinks(linkLines))
        ok = write(std::to_string(link) + ".html", kreisel::HelpLinkPage("index.html", anchor)) && ok;
    if (!ok) std::cerr << "kreisel_help_pages: cannot write into " << folder << '\n';
    return ok ? 0 : 1;
}
