// The default configuration text "data/txt/script.txt" and the game's name file.
#include "tools/data_writer.h"
#include "tools/data_palette.h"

#include <cstdio>

const char *const g_data_game_name = "ZAV Mini Golf";

const DataTheme g_data_themes[DATA_THEME_COUNT] = {
    {"Garden", "garden", {45, 45, 50}, {90, 88, 80}},
    {"Desert", "desert", {50, 45, 40}, {100, 92, 75}},
    {"Night", "night", {20, 22, 35}, {55, 60, 85}},
};

namespace {

struct MenuTextValue {
    const char *key;
    const char *text;
};

const MenuTextValue g_menu_values[] = {
    {"POPUPMSG", "Message"},
    {"SCORES", "High scores"},
    {"REPLAY", "Replay - click to skip"},
    {"MENU", "Game options"},
    {"REPLAY_ON", "Replay: on"},
    {"REPLAY_OFF", "Replay: off"},
    {"INTERNETGAME", "Internet game"},
    {"LANGAME", "Network game"},
    {"NAMEPLAYER", "Player name"},
    {"LEAVE", "Leave"},
    {"SAVEOK", "Saved"},
    {"PLAYER", "Player"},
    {"EDITOR", "Hole editor"},
    {"LIGHTING", "Lighting"},
    {"CANTWRITE", "This course is full: 18 holes at most."},
    {"EDLOAD", "Open hole"},
    {"EDSAVE", "Save hole"},
    {"EDNEW", "New hole"},
    {"EDCREATE", "New course"},
    {"EDDOCNAME", "File"},
    {"EDNFO", "Information"},
    {"EDPAR", "Par"},
    {"GUIDE_ON", "Guide: on"},
    {"GUIDE_OFF", "Guide: off"},
    {"GAMELOAD", "Loading..."},
    {"NEWTREE", "Add a tree"},
    {"NEWBUISSON", "Add a bush"},
    {"SCORE2", "Strokes"},
    {"LEVELS", "Levels"},
    {"BORNESTART", "Tee"},
    {"NIV", "Hole"},
    {"NIVONULL", "No hole yet"},
    {"NIVONAMEDEFAULT", "New hole"},
    {"EDDESCRIPTION", "Name and par of the hole:"},
    {"PLATO1", "Board 1"},
    {"PLATO2", "Board 2"},
    {"PLATO3", "Board 3"},
    {"NPERSO", "Your courses"},
    {"NPREDEFS", "Courses"},
    {"GAMEWIN", "Well played!"},
    {"GAMELOST", "Better luck next time"},
    {"SCORE", "Score"},
    {"LOW", "Low"},
    {"HIGH", "High"},
    {"PATIENCE", "Please wait..."},
    {"STOP", "Stop"},
    {"CALCLIGHT", "Computing the lighting"},
    {"ACC1", "Account"},
    {"ACC2", "Password"},
    {"ACC3", "Confirm password"},
    {"ACC4", "E-mail"},
    {"ACC5", "Create account"},
    {"ACC6", "Account created"},
    {"ACC7", "Account refused"},
    {"TOOLTIP1", "Take blocks from the palette below and click in the view to place them. A right click turns a block. A hole needs one Tee and one cup."},
    {"TOOLTIP2", "The ground is empty. Start with the Tee."},
    {"TOOLTIP3", "Choose a course, type a name and save. Then click Save hole in the panel to store the name, par and preview."},
    {"TOOLTIP4", "Lighting is done. Click Lighting again to edit."},
    {"TOOLTIP5", "Page Up and Page Down raise and lower the block, Delete removes it, a click drops it."},
    {"TOOLTIP6", "Click in the view to place the block. A right click turns it."},
    {"TOOLTIP7", "Place the Tee where the ball starts, then lead the lanes to the cup."},
    {"TOOLTIP8", "Rails keep the ball on the course. Leave a clear path to the cup."},
    {"THEM", "Theme"},
    {"PGN", "Record"},
    {"WHOIS", "Who is it?"},
    {"TIME", "Time"},
    {"ACCOUNT", "Account"},
    {"ELO", "Avg over par / courses"},
    {"TIME1", "1 minute"},
    {"TIME2", "2 minutes"},
    {"TIME3", "5 minutes"},
    {"TIME4", "10 minutes"},
    {"TIME5", "15 minutes"},
    {"TIME6", "30 minutes"},
    {"TIME7", "No limit"},
    {"PIECE1", "Piece 1"},
    {"PIECE2", "Piece 2"},
    {"PIECE3", "Piece 3"},
    {"PIECE4", "Piece 4"},
    {"PIECE5", "Piece 5"},
    {"PIECE6", "Piece 6"},
    {"MSGBEGIN", "The game begins"},
    {"MSGLOAD", "Loading the game"},
    {"MSGCREATE", "Creating the game"},
    {"MSGWAIT", "Waiting for the other player"},
    {"ENDGAME", "Game over"},
    {"MAT", "Checkmate"},
    {"PAT", "Stalemate"},
    {"NOIRS", "Black"},
    {"BLANCS", "White"},
    {"ERROR", "Error"},
    {"ERR1", "File not found"},
    {"ERR2", "File cannot be read"},
    {"ERR3", "File cannot be written"},
    {"ERR4", "Not enough memory"},
    {"ERR5", "Wrong format"},
    {"ERR6", "Connection lost"},
    {"ERR7", "Name already taken"},
    {"ERR8", "The course has no start block"},
    {"ERR9", "Name missing"},
    {"ERR10", "Unknown error"},
    {"SYS", "System"},
    {"TRANSFO", "Transform"},
    {"MSG1", "Message 1"},
    {"MSG2", "Message 2"},
    {"MSG3", "Message 3"},
    {"MSG4", "Message 4"},
    {"LISTFIRENDS", "Friends"},
    {"AIDE", "Help"},
    {"DOC", "Documentation"},
    {"GLOW_ON", "Glow: on"},
    {"GLOW_OFF", "Glow: off"},
    {"FULL_ON", "Full screen: on"},
    {"FULL_OFF", "Full screen: off"},
    {"SHADOWS_ON", "Shadows: on"},
    {"SHADOWS_OFF", "Shadows: off"},
    {"SYNCHRO_ON", "Vertical sync: on"},
    {"SYNCHRO_OFF", "Vertical sync: off"},
    {"BUMP_ON", "Relief: on"},
    {"BUMP_OFF", "Relief: off"},
    {"ENV_ON", "Reflections: on"},
    {"ENV_OFF", "Reflections: off"},
    {"REDO", "Restart hole"},
    {"VIEW2D", "2D view"},
    {"VIEW3D", "3D view"},
    {"NEXT", "Next hole"},
    {"PREV", "Previous"},
    {"DEFJOUEUR", "Choose the player"},
    {"SELECT", "Select"},
    {"NOM0", "Player"},
    {"NOM1", "Nobody"},
    {"NOM2", "Player 3"},
    {"NOM3", "Player 4"},
    {"NOM4", "Player 5"},
    {"PC0", "Computer 1"},
    {"PC1", "Computer 2"},
    {"SERVEUR", "Server"},
    {"YOURIPNAME", "Your address"},
    {"JOUER", "Play"},
    {"MULTIPLAYER", "Multiplayer"},
    {"OPTIONS", "Options"},
    {"INFOS", "Credits"},
    {"RETOUR", "Back"},
    {"QUITTER", "Quit"},
    {"UNJOUEUR", "One player"},
    {"DEUXJOUEURS", "Two players"},
    {"SOUNDON", "Sound effects: on"},
    {"SOUNDOFF", "Sound effects: off"},
    {"MUSICON", "Music: on"},
    {"MUSICOFF", "Music: off"},
    {"MUSIC", "Music"},
    {"CHARGER", "Open"},
    {"CHARGERPARTIE", "Open a game"},
    {"SAUVER", "Save"},
    {"DEPART", "Start"},
    {"SOUNDCARD_ON", "Sound card: on"},
    {"SOUNDCARD_OFF", "Sound card: off"},
    {"RESOLUTION", "Resolution"},
    {"CERTAIN", "Leave this course?"},
    {"CERTAIN2", "Restart this hole?"},
    {"OUI", "Yes"},
    {"NON", "No"},
    {"PRIV", "Private"},
    {"CREATE", "Create"},
    {"JOIN", "Join"},
    {"DEL", "Delete"},
    {"PLAY", "Play"},
    {"EXIT", "Exit"},
    {"CONNECT", "Connect"},
    {"DECONNECT", "Disconnect"},
    {"NEWGAME", "New game"},
    {"DELGAME", "Delete game"},
    {"INROOM", "In the room"},
    {"DIALOG", "Dialog"},
    {"MESSAGE", "Message"},
    {"TOOLS", "Tools"},
    {"ROOMLIST", "Rooms"},
    {"BAN", "Ban"},
    {"UNBAN", "Unban"},
    {"FRIEND", "Friend"},
    {"DELFRIEND", "Remove friend"},
    {"JOINROOM", "Join the room"},
    {"ROOM", "Room"},
    {"PLAYERNAME", "Player name"},
    {"PLAYERPWD", "Password"},
};

std::string themes_section()
{
    std::string text = "THEMES\n{\n";
    char line[256];
    for (int i = 0; i < DATA_THEME_COUNT; i++) {
        const DataTheme &theme = g_data_themes[i];
        snprintf(line, sizeof line, "\tTHEME:%d\n\t{\n\t\tNAME = \"%s\"\n", i, theme.name);
        text += line;
        // One palette scene for every theme: one texture set, and the theme loader's reload of
        // the scene it already holds gets used.
        text += "\t\tQELBLOCS = \"data/themes/garden/blocs.qel\"\n";
        const char *sides[] = {"LEFT", "FRONT", "RIGHT", "BACK"};
        const char *files[] = {"left", "front", "right", "back"};
        for (int s = 0; s < 4; s++) {
            snprintf(line, sizeof line, "\t\t%s = \"data/themes/%s/sky_%s\"\n", sides[s], theme.folder, files[s]);
            text += line;
        }
        snprintf(line, sizeof line,
                 "\t\tAMBIENT_R = %d\n\t\tAMBIENT_G = %d\n\t\tAMBIENT_B = %d\n"
                 "\t\tLIGHT_R = %d\n\t\tLIGHT_G = %d\n\t\tLIGHT_B = %d\n\t}\n",
                 theme.ambient[0], theme.ambient[1], theme.ambient[2], theme.light[0], theme.light[1], theme.light[2]);
        text += line;
    }
    return text + "}\n\n";
}

const char *const g_params_section =
    "PARAMS\n"
    "{\n"
    "\tDISTANCE = 768\n"
    "\tCOLOR_TEXTE_MENU\n\t{\n\t\tR = 95\n\t\tG = 95\n\t\tB = 90\n\t}\n"
    "\tCOLOR_TEXTE_MENU_SELECTION\n\t{\n\t\tR = 100\n\t\tG = 80\n\t\tB = 20\n\t}\n"
    "\t# rest test of the ball, then restitution and friction in thousandths\n"
    "\tPHYSIQUE\n\t{\n"
    "\t\tSTABILITE = 5\n"
    "\t\tRESTITUTION_NORMAL = 700\n\t\tFROTTEMENT_NORMAL = 400\n"
    "\t\tRESTITUTION_SABLE = 1\n\t\tFROTTEMENT_SABLE = 1500\n"
    "\t\tRESTITUTION_SOL = 400\n\t\tFROTTEMENT_SOL = 400\n"
    "\t}\n"
    "\tMATERIAUX\n\t{\n";

// The palette's material bytes: texture id above the two blending bits (tools/data_palette.h).
std::string materials_and_textures()
{
    std::string text;
    const struct {
        const char *key;
        int32_t value;
    } materials[] = {{"SABLE", kMatSand}, {"SOL", kMatMeadow}, {"GROUND", kMatMeadow}, {"EAU", kMatWater},
                     {"HERBE", kMatGrass}};
    for (const auto &m : materials) text += std::string("\t\t") + m.key + " = " + std::to_string(m.value) + "\n";
    text += "\t}\n\tTEXTURES\n\t{\n\t\tTRONC = " + std::to_string(kTexBark) + "\n\t\tFEUILLES = " +
            std::to_string(kTexLeaves) + "\n\t}\n}\n\n";
    return text;
}

}  // namespace

bool data_write_script(const std::string &data_dir)
{
    std::string text = "# Settings and interface texts of the game.\n\n";
    text += "PRESENTATION\n{\n\tPAGE1 = \"data/gfx/presentation1\"\n}\n\n";
    text += themes_section();
    text += g_params_section;
    text += materials_and_textures();
    text += "MENUS\n{\n";
    for (const MenuTextValue &value : g_menu_values) text += std::string("\t") + value.key + " = \"" + value.text + "\"\n";
    text += "}\n";
    return data_write_file(data_dir + "/txt/script.txt", data_crlf(text)) &&
           data_write_file(data_dir + "/txt/nameofgame.ini", data_crlf(std::string(g_data_game_name) + "\n"));
}
