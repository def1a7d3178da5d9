/* Preloaded into the game by tools/soak.sh: counts the frames presented (SDL_GL_SwapWindow) and
 * keeps the count in the file named by $SOAK_FRAMES, so that the soak can pace its input to the
 * game, which takes one input message per frame. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

void SDL_GL_SwapWindow(void *window)
{
    static void (*real)(void *);
    static int fd = -2;
    static unsigned long frames;
    char text[32];
    int length;

    if (!real) real = (void (*)(void *))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    if (fd == -2) {
        const char *path = getenv("SOAK_FRAMES");
        fd = path ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    }
    if (fd < 0) return;
    length = snprintf(text, sizeof text, "%20lu\n", ++frames);
    if (pwrite(fd, text, (size_t)length, 0) != length) fd = -1;
}
