// The game's settings and interface texts, read once at start-up from "data/txt/script.txt"
// through the main key table. Every value starts at its built-in default.
#pragma once

#include "script/config.h"

#include <cstdint>

const int THEME_MAX = 16;

// The MENUS texts, in table order: MENU_RETOUR is the MENUS text RETOUR.
#define MENU_TEXT_KEYS(X) \
    X(POPUPMSG) X(SCORES) X(REPLAY) X(MENU) X(REPLAY_ON) X(REPLAY_OFF) X(INTERNETGAME) X(LANGAME) \
    X(NAMEPLAYER) X(LEAVE) X(SAVEOK) X(PLAYER) X(EDITOR) X(LIGHTING) X(CANTWRITE) X(EDLOAD) X(EDSAVE) \
    X(EDNEW) X(EDCREATE) X(EDDOCNAME) X(EDNFO) X(EDPAR) X(GUIDE_ON) X(GUIDE_OFF) X(GAMELOAD) X(NEWTREE) \
    X(NEWBUISSON) X(SCORE2) X(LEVELS) X(BORNESTART) X(NIV) X(NIVONULL) X(NIVONAMEDEFAULT) X(EDDESCRIPTION) \
    X(PLATO1) X(PLATO2) X(PLATO3) X(NPERSO) X(NPREDEFS) X(GAMEWIN) X(GAMELOST) X(SCORE) X(LOW) X(HIGH) \
    X(PATIENCE) X(STOP) X(CALCLIGHT) X(ACC1) X(ACC2) X(ACC3) X(ACC4) X(ACC5) X(ACC6) X(ACC7) X(TOOLTIP1) \
    X(TOOLTIP2) X(TOOLTIP3) X(TOOLTIP4) X(TOOLTIP5) X(TOOLTIP6) X(TOOLTIP7) X(TOOLTIP8) X(THEM) X(PGN) \
    X(WHOIS) X(TIME) X(ACCOUNT) X(ELO) X(TIME1) X(TIME2) X(TIME3) X(TIME4) X(TIME5) X(TIME6) X(TIME7) \
    X(PIECE1) X(PIECE2) X(PIECE3) X(PIECE4) X(PIECE5) X(PIECE6) X(MSGBEGIN) X(MSGLOAD) X(MSGCREATE) \
    X(MSGWAIT) X(ENDGAME) X(MAT) X(PAT) X(NOIRS) X(BLANCS) X(ERROR) X(ERR1) X(ERR2) X(ERR3) X(ERR4) X(ERR5) \
    X(ERR6) X(ERR7) X(ERR8) X(ERR9) X(ERR10) X(SYS) X(TRANSFO) X(MSG1) X(MSG2) X(MSG3) X(MSG4) X(LISTFIRENDS) \
    X(AIDE) X(DOC) X(GLOW_ON) X(GLOW_OFF) X(FULL_ON) X(FULL_OFF) X(SHADOWS_ON) X(SHADOWS_OFF) X(SYNCHRO_ON) \
    X(SYNCHRO_OFF) X(BUMP_ON) X(BUMP_OFF) X(ENV_ON) X(ENV_OFF) X(REDO) X(VIEW2D) X(VIEW3D) X(NEXT) X(PREV) \
    X(DEFJOUEUR) X(SELECT) X(NOM0) X(NOM1) X(NOM2) X(NOM3) X(NOM4) X(PC0) X(PC1) X(SERVEUR) X(YOURIPNAME) \
    X(JOUER) X(MULTIPLAYER) X(OPTIONS) X(INFOS) X(RETOUR) X(QUITTER) X(UNJOUEUR) X(DEUXJOUEURS) X(SOUNDON) \
    X(SOUNDOFF) X(MUSICON) X(MUSICOFF) X(MUSIC) X(CHARGER) X(CHARGERPARTIE) X(SAUVER) X(DEPART) \
    X(SOUNDCARD_ON) X(SOUNDCARD_OFF) X(RESOLUTION) X(CERTAIN) X(CERTAIN2) X(OUI) X(NON) X(PRIV) X(CREATE) \
    X(JOIN) X(DEL) X(PLAY) X(EXIT) X(CONNECT) X(DECONNECT) X(NEWGAME) X(DELGAME) X(INROOM) X(DIALOG) \
    X(MESSAGE) X(TOOLS) X(ROOMLIST) X(BAN) X(UNBAN) X(FRIEND) X(DELFRIEND) X(JOINROOM) X(ROOM) X(PLAYERNAME) \
    X(PLAYERPWD)
enum MenuText {
#define MENU_TEXT_ENUM(name) MENU_##name,
    MENU_TEXT_KEYS(MENU_TEXT_ENUM)
#undef MENU_TEXT_ENUM
    MENU_TEXT_COUNT
};

extern char *g_presentation_pages[4];

extern char *g_theme_names[THEME_MAX];
extern char *g_theme_scene_files[THEME_MAX];
extern char *g_theme_sky_left[THEME_MAX];
extern char *g_theme_sky_front[THEME_MAX];
extern char *g_theme_sky_right[THEME_MAX];
extern char *g_theme_sky_back[THEME_MAX];
extern int32_t g_theme_ambient_r[THEME_MAX], g_theme_ambient_g[THEME_MAX], g_theme_ambient_b[THEME_MAX];
extern int32_t g_theme_light_r[THEME_MAX], g_theme_light_g[THEME_MAX], g_theme_light_b[THEME_MAX];

extern int32_t g_setting_distance;
extern int32_t g_menu_text_r, g_menu_text_g, g_menu_text_b;
extern int32_t g_menu_text_selected_r, g_menu_text_selected_g, g_menu_text_selected_b;
extern int32_t g_setting_stabilite;
extern int32_t g_setting_restitution_normal, g_setting_frottement_normal;
extern int32_t g_setting_restitution_sable, g_setting_frottement_sable;
extern int32_t g_setting_restitution_sol, g_setting_frottement_sol;
extern int32_t g_material_sable, g_material_sol, g_material_ground, g_material_eau, g_material_herbe;
extern int32_t g_texture_tronc, g_texture_feuilles;

// The MENUS texts; null where the file gives none (menu_text reads those as "").
extern char *g_menu_texts[MENU_TEXT_COUNT];
extern const char *const g_menu_text_keys[MENU_TEXT_COUNT];

extern const ConfigKeyDescriptor g_main_config_table[];

const char *menu_text(MenuText text);
// Themes named from THEME:0 up to the first without a name.
int config_theme_count(void);
