// The help page the game opens when it quits, and the file that names it.
#include "tools/data_writer.h"

#include <filesystem>

namespace {

std::string html_escape(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

const char *const g_page_style =
    "body { font-family: sans-serif; max-width: 46em; margin: 2em auto; padding: 0 1em;\n"
    "       background: #f4f1e8; color: #1f2a1f; line-height: 1.5; }\n"
    "h1 { color: #2e6b2e; } h2 { color: #2e6b2e; border-bottom: 1px solid #b9c8a8; }\n"
    "kbd { border: 1px solid #888; border-radius: 3px; padding: 0 0.3em; background: #fff; }\n"
    "pre { white-space: pre-wrap; font-size: 0.85em; background: #fff; padding: 0.8em; }\n";

const char *const g_page_body =
    "<h2>How to play</h2>\n"
    "<p>Each hole is played from the tee to the cup in as few strokes as you can.</p>\n"
    "<ul>\n"
    "<li><b>Aim:</b> hold the right mouse button and move the mouse to turn the camera around the\n"
    "ball; the wheel moves the camera closer or further. The ball goes where the camera looks.</li>\n"
    "<li><b>Charge:</b> hold the left mouse button. The longer you hold it, the harder the stroke.</li>\n"
    "<li><b>Strike:</b> release the left button.</li>\n"
    "<li><b>Water:</b> a ball that lands in water, or leaves the course, goes back to where the stroke\n"
    "was played. The stroke still counts.</li>\n"
    "<li><b>Par and strokes:</b> every hole has a par, the strokes a good player needs. Your strokes\n"
    "are counted on each hole and compared with the par on the score card at the end of the course.\n"
    "Far beyond par the Next hole button lets you give up the hole.</li>\n"
    "</ul>\n"
    "<h2>Keys</h2>\n"
    "<ul>\n"
    "<li><kbd>Escape</kbd>: back to the main menu; on the main menu it ends the game. In a hole it\n"
    "leaves the course.</li>\n"
    "<li><kbd>F9</kbd>: saves a screenshot.</li>\n"
    "<li><kbd>F12</kbd>: ends the game at once, from any screen.</li>\n"
    "</ul>\n"
    "<h2>The hole editor</h2>\n"
    "<p>The editor builds your own holes. Take blocks from the palette at the bottom of the screen\n"
    "and click in the view to place them; a right click turns a block, Page Up and Page Down raise\n"
    "and lower it, Delete removes it. Every hole needs one Tee, where the ball starts, and one cup.\n"
    "Save the hole into one of your courses (18 holes at most each) and give it a name and a par.\n"
    "</p>\n"
    "<h2>Credits</h2>\n"
    "<p>Game, pictures, sounds and music are made by the game's own code. The letters are drawn with\n"
    "the DejaVu fonts (Bitstream Vera licence, notice below).</p>\n";

std::string help_page()
{
    std::string licence;
    if (!data_read_font_licence(&licence)) return "";
    std::string name = html_escape(g_data_game_name);
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + name +
                       " - Help</title>\n<style>\n" + g_page_style + "</style>\n</head>\n<body>\n<h1>" + name +
                       "</h1>\n";
    page += g_page_body;
    page += "<h2>DejaVu fonts licence</h2>\n<pre>\n" + html_escape(licence) + "</pre>\n</body>\n</html>\n";
    return page;
}

}  // namespace

bool data_write_help(const std::string &data_dir)
{
    // The game changes into "html" before it opens the named page, so the name has no folder.
    std::string page = help_page();
    if (page.empty()) return false;
    std::filesystem::path beside = std::filesystem::path(data_dir).lexically_normal();
    if (!beside.has_filename()) beside = beside.parent_path();  // "data/" names the folder "data"
    return data_write_file(data_dir + "/txt/html.ini", data_crlf("[Html]\nFileName=index.html\n")) &&
           data_write_file((beside.parent_path() / "html" / "index.html").string(), page);
}
