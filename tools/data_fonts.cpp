// The font faces of the data folder, their licence, and the two font style files.
#include "tools/data_writer.h"

#include <cstdio>

namespace {

bool copy_face(const char *source, const std::string &target)
{
    std::string bytes;
    if (!data_read_file(source, &bytes)) {
        fprintf(stderr, "zavdata: cannot read the font face %s\n", source);
        return false;
    }
    return data_write_file(target, bytes);
}

// The licence asks that its notice travel with every copy of the faces.
bool write_licence(const std::string &path)
{
    std::string notice;
    if (!data_read_font_licence(&notice)) return false;
    std::string text =
        "The font faces DejaVuSans-Bold.ttf and DejaVuSans.ttf in this folder are the DejaVu fonts,\n"
        "unmodified, as packaged by Debian (fonts-dejavu-core). They are distributed under the\n"
        "following terms, copied from the package's copyright file.\n\n";
    return data_write_file(path, data_crlf(text + notice));
}

// Menus, widgets and dialogs: white to pale blue letters with a dark blue outline.
const char *const g_primary_style =
    "# Primary font: menus, widgets, dialogs, play screen and editor.\n"
    "DATA\n{\n"
    "\tBODY\n\t{\n"
    "\t\tNAME = \"data/fonts/DejaVuSans-Bold.ttf\"\n"
    "\t\tSIZE = 30\n"
    "\t\tBOLD = 0\n"
    "\t\tUP = (255,255,255,255)\n"
    "\t\tDOWN = (200,215,235,255)\n"
    "\t\tSHADOW = 3\n"
    "\t\tFORCE = 150\n"
    "\t}\n"
    "\tOUTLINE\n\t{\n"
    "\t\tCOLOR = (20,30,55,255)\n"
    "\t\tSIZE = 2\n"
    "\t}\n"
    "}\n";

// Wrapped message text. Read after the first file into the same record, so it sets every key the
// first one sets: what it left out would keep the primary font's value.
const char *const g_secondary_style =
    "# Secondary font: wrapped messages.\n"
    "DATA\n{\n"
    "\tBODY\n\t{\n"
    "\t\tNAME = \"data/fonts/DejaVuSans.ttf\"\n"
    "\t\tSIZE = 28\n"
    "\t\tBOLD = 0\n"
    "\t\tCOLOR = (255,255,255,255)\n"
    "\t\tSHADOW = 3\n"
    "\t\tFORCE = 150\n"
    "\t}\n"
    "\tOUTLINE\n\t{\n"
    "\t\tCOLOR = (15,15,15,255)\n"
    "\t\tSIZE = 2\n"
    "\t}\n"
    "}\n";

}  // namespace

bool data_read_font_licence(std::string *text)
{
    if (data_read_file(ZAV_DEJAVU_COPYRIGHT, text)) return true;
    fprintf(stderr, "zavdata: cannot read the DejaVu copyright file %s\n", ZAV_DEJAVU_COPYRIGHT);
    return false;
}

bool data_write_fonts(const std::string &data_dir)
{
    return copy_face(ZAV_DEJAVU_SANS_BOLD, data_dir + "/fonts/DejaVuSans-Bold.ttf") &&
           copy_face(ZAV_DEJAVU_SANS, data_dir + "/fonts/DejaVuSans.ttf") &&
           write_licence(data_dir + "/fonts/LICENSE-DejaVu.txt") &&
           data_write_file(data_dir + "/gfx/script_font.txt", data_crlf(g_primary_style)) &&
           data_write_file(data_dir + "/gfx/script_font2.txt", data_crlf(g_secondary_style));
}
