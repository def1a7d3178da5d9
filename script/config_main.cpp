// The main key table and the globals it fills.
#include "script/config_main.h"

char *g_presentation_pages[4];

char *g_theme_names[THEME_MAX];
char *g_theme_scene_files[THEME_MAX];
char *g_theme_sky_left[THEME_MAX];
char *g_theme_sky_front[THEME_MAX];
char *g_theme_sky_right[THEME_MAX];
char *g_theme_sky_back[THEME_MAX];
int32_t g_theme_ambient_r[THEME_MAX], g_theme_ambient_g[THEME_MAX], g_theme_ambient_b[THEME_MAX];
int32_t g_theme_light_r[THEME_MAX], g_theme_light_g[THEME_MAX], g_theme_light_b[THEME_MAX];

int32_t g_setting_distance = 768;
int32_t g_menu_text_r = -1, g_menu_text_g = -1, g_menu_text_b = -1;
int32_t g_menu_text_selected_r = -1, g_menu_text_selected_g = -1, g_menu_text_selected_b = -1;
int32_t g_setting_stabilite = 5;
int32_t g_setting_restitution_normal = 700, g_setting_frottement_normal = 400;
int32_t g_setting_restitution_sable = 1, g_setting_frottement_sable = 1500;
int32_t g_setting_restitution_sol = 400, g_setting_frottement_sol = 400;
int32_t g_material_sable = 11, g_material_sol = 7, g_material_ground = 7, g_material_eau = 8, g_material_herbe = 5;
int32_t g_texture_tronc = 16, g_texture_feuilles = 17;

char *g_menu_texts[MENU_TEXT_COUNT];

const char *const g_menu_text_keys[MENU_TEXT_COUNT] = {
#define MENU_TEXT_NAME(name) #name,
    MENU_TEXT_KEYS(MENU_TEXT_NAME)
#undef MENU_TEXT_NAME
};

namespace {

constexpr ConfigKeyDescriptor row(ConfigKind kind, const char *key) { return {kind, key, nullptr, nullptr, nullptr, nullptr, 0}; }
constexpr ConfigKeyDescriptor text(const char *key, char **dest) { return {CONFIG_TEXT, key, dest, nullptr, nullptr, nullptr, 0}; }
constexpr ConfigKeyDescriptor number(const char *key, int32_t *dest) { return {CONFIG_INT, key, nullptr, dest, nullptr, nullptr, 0}; }
constexpr ConfigKeyDescriptor group(const char *key, int32_t records) { return {CONFIG_GROUP, key, nullptr, nullptr, nullptr, nullptr, records}; }

}  // namespace

const ConfigKeyDescriptor g_main_config_table[] = {
    row(CONFIG_SECTION, "PRESENTATION"),
    text("PAGE1", &g_presentation_pages[0]),
    text("PAGE2", &g_presentation_pages[1]),
    text("PAGE3", &g_presentation_pages[2]),
    text("PAGE4", &g_presentation_pages[3]),
    row(CONFIG_SECTION_END, ""),

    row(CONFIG_SECTION, "THEMES"),
    group("THEME", THEME_MAX),
    text("NAME", g_theme_names),
    text("QELBLOCS", g_theme_scene_files),
    text("LEFT", g_theme_sky_left),
    text("FRONT", g_theme_sky_front),
    text("RIGHT", g_theme_sky_right),
    text("BACK", g_theme_sky_back),
    number("AMBIENT_R", g_theme_ambient_r),
    number("AMBIENT_G", g_theme_ambient_g),
    number("AMBIENT_B", g_theme_ambient_b),
    number("LIGHT_R", g_theme_light_r),
    number("LIGHT_G", g_theme_light_g),
    number("LIGHT_B", g_theme_light_b),
    row(CONFIG_GROUP_END, ""),
    row(CONFIG_SECTION_END, ""),

    row(CONFIG_SECTION, "PARAMS"),
    number("DISTANCE", &g_setting_distance),
    group("COLOR_TEXTE_MENU", 1),
    number("R", &g_menu_text_r),
    number("G", &g_menu_text_g),
    number("B", &g_menu_text_b),
    row(CONFIG_GROUP_END, ""),
    group("COLOR_TEXTE_MENU_SELECTION", 1),
    number("R", &g_menu_text_selected_r),
    number("G", &g_menu_text_selected_g),
    number("B", &g_menu_text_selected_b),
    row(CONFIG_GROUP_END, ""),
    group("PHYSIQUE", 1),
    number("STABILITE", &g_setting_stabilite),
    number("RESTITUTION_NORMAL", &g_setting_restitution_normal),
    number("FROTTEMENT_NORMAL", &g_setting_frottement_normal),
    number("RESTITUTION_SABLE", &g_setting_restitution_sable),
    number("FROTTEMENT_SABLE", &g_setting_frottement_sable),
    number("RESTITUTION_SOL", &g_setting_restitution_sol),
    number("FROTTEMENT_SOL", &g_setting_frottement_sol),
    row(CONFIG_GROUP_END, ""),
    group("MATERIAUX", 1),
    number("SABLE", &g_material_sable),
    number("SOL", &g_material_sol),
    number("GROUND", &g_material_ground),
    number("EAU", &g_material_eau),
    number("HERBE", &g_material_herbe),
    row(CONFIG_GROUP_END, ""),
    group("TEXTURES", 1),
    number("TRONC", &g_texture_tronc),
    number("FEUILLES", &g_texture_feuilles),
    row(CONFIG_GROUP_END, ""),
    row(CONFIG_SECTION_END, ""),

    row(CONFIG_SECTION, "MENUS"),
#define MENU_TEXT_ROW(name) text(#name, &g_menu_texts[MENU_##name]),
    MENU_TEXT_KEYS(MENU_TEXT_ROW)
#undef MENU_TEXT_ROW
    row(CONFIG_SECTION_END, ""),

    row(CONFIG_END, ""),
};

const char *menu_text(MenuText text)
{
    if (text < 0 || text >= MENU_TEXT_COUNT || !g_menu_texts[text]) return "";
    return g_menu_texts[text];
}

int config_theme_count(void)
{
    int count = 0;
    while (count < THEME_MAX && g_theme_names[count]) count++;
    return count;
}
