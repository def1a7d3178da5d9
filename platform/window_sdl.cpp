// SDL2 window back end: a borderless window able to carry an OpenGL context; SDL events become
// the Windows messages, keys their virtual-key codes.
#include "platform/window_local.h"

#include <SDL2/SDL.h>

#include <cstdlib>
#include <cstring>

namespace {

bool g_sdl_ready;

bool ensure_video()
{
    if (g_sdl_ready) return true;
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    g_sdl_ready = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    if (!g_sdl_ready) {
        fprintf(stderr, "window: no video: %s\n", SDL_GetError());
        return false;
    }
    // Without a display SDL falls back to drivers that show nothing: a window nobody sees is a
    // failure, unless those drivers were asked for.
    const char *driver = SDL_GetCurrentVideoDriver();
    const char *asked = getenv("SDL_VIDEODRIVER");
    if (driver && (!asked || !asked[0]) && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0)) {
        fprintf(stderr, "window: no display to open a window on\n");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        g_sdl_ready = false;
    }
    return g_sdl_ready;
}

// Letters, digits and the keys the game names, by the character they produce, so that the
// punctuation keys give the codes the game's character table expects on any layout.
int virtual_key(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z) return 'A' + int(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9) return '0' + int(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12) return VK_F1 + int(key - SDLK_F1);
    if (key >= SDLK_F13 && key <= SDLK_F24) return VK_F1 + 12 + int(key - SDLK_F13);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return VK_NUMPAD0 + 1 + int(key - SDLK_KP_1);
    switch (key) {
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_RETURN: return VK_RETURN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT: return VK_MENU;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_END: return VK_END;
    case SDLK_HOME: return VK_HOME;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_UP: return VK_UP;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_EQUALS:
    case SDLK_PLUS: return VK_OEM_PLUS;
    case SDLK_COMMA:
    case SDLK_QUESTION: return VK_OEM_COMMA;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_PERIOD:
    case SDLK_SEMICOLON: return VK_OEM_PERIOD;
    case SDLK_COLON:
    case SDLK_SLASH: return VK_OEM_2;
    case SDLK_BACKQUOTE: return VK_OEM_3;
    case SDLK_RIGHTPAREN:
    case SDLK_LEFTBRACKET: return VK_OEM_4;
    case SDLK_BACKSLASH: return VK_OEM_5;
    case SDLK_RIGHTBRACKET: return VK_OEM_6;
    case SDLK_QUOTE: return VK_OEM_7;
    case SDLK_EXCLAIM: return VK_OEM_8;
    default: return 0;
    }
}

LPARAM point_lparam(int x, int y) { return LPARAM((uint32_t(uint16_t(x))) | (uint32_t(uint16_t(y)) << 16)); }

void translate(const SDL_Event &event)
{
    switch (event.type) {
    case SDL_MOUSEMOTION:
        window_set_cursor(event.motion.x, event.motion.y);
        window_input(WM_MOUSEMOVE, 0, point_lparam(event.motion.x, event.motion.y));
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = event.type == SDL_MOUSEBUTTONDOWN;
        LPARAM at = point_lparam(event.button.x, event.button.y);
        if (event.button.button == SDL_BUTTON_LEFT) window_input(down ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0, at);
        if (event.button.button == SDL_BUTTON_RIGHT) window_input(down ? WM_RBUTTONDOWN : WM_RBUTTONUP, 0, at);
        break;
    }
    case SDL_MOUSEWHEEL:
        if (event.wheel.y != 0) {
            int turn = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
            window_input(WM_MOUSEWHEEL, MAKEWPARAM(0, turn > 0 ? WHEEL_DELTA : -WHEEL_DELTA), 0);
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int vk = virtual_key(event.key.keysym.sym);
        if (vk) window_input(event.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, WPARAM(vk), 0);
        break;
    }
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_MINIMIZED: window_input(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1), 0); break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            window_input(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
            window_input(WM_SETCURSOR, 0, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST: window_input(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0); break;
        case SDL_WINDOWEVENT_CLOSE: window_input(WM_CLOSE, 0, 0); break;
        default: break;
        }
        break;
    case SDL_QUIT:
        window_input(WM_CLOSE, 0, 0);
        break;
    default:
        break;
    }
}

bool sdl_open(WindowRecord *window, int x, int y, int width, int height)
{
    if (!ensure_video()) return false;
    // On X11 the visual is fixed when the window is made, and SDL's defaults carry no stencil.
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    SDL_Window *native = SDL_CreateWindow(window->title.c_str(), x, y, width, height, flags);
    if (!native) {
        fprintf(stderr, "window: cannot create: %s\n", SDL_GetError());
        return false;
    }
    window->native = native;
    SDL_ShowCursor(SDL_DISABLE);
    return true;
}

void sdl_close(WindowRecord *window)
{
    if (window->native) SDL_DestroyWindow(static_cast<SDL_Window *>(window->native));
    window->native = nullptr;
}

void sdl_show(WindowRecord *window, bool visible)
{
    auto *native = static_cast<SDL_Window *>(window->native);
    if (!native) return;
    if (visible) {
        SDL_ShowWindow(native);
        SDL_RaiseWindow(native);
    } else {
        SDL_HideWindow(native);
    }
}

void sdl_poll(void)
{
    if (!g_sdl_ready) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) translate(event);
}

void sdl_wait(int ms)
{
    if (!g_sdl_ready) {
        SDL_Delay(Uint32(ms));
        return;
    }
    SDL_Event event;
    if (SDL_WaitEventTimeout(&event, ms)) translate(event);
}

void sdl_desktop_size(int *width, int *height)
{
    SDL_DisplayMode mode;
    if (ensure_video() && SDL_GetDesktopDisplayMode(0, &mode) == 0) {
        *width = mode.w;
        *height = mode.h;
        return;
    }
    *width = 1920;
    *height = 1080;
}

void sdl_warp(WindowRecord *window, int x, int y)
{
    if (window->native) SDL_WarpMouseInWindow(static_cast<SDL_Window *>(window->native), x, y);
}

void sdl_show_pointer(bool visible)
{
    if (g_sdl_ready) SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

const WindowBackend g_sdl = {sdl_open, sdl_close, sdl_show, sdl_poll, sdl_wait, sdl_desktop_size, sdl_warp, sdl_show_pointer};

}  // namespace

const WindowBackend *window_backend_sdl(void) { return &g_sdl; }
