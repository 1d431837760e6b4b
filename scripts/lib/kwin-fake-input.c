/* Pointer and keyboard input for a KWin session, through its fake input protocol. KWin offers the protocol
 * only to programs whose .desktop file lists it in X-KDE-Wayland-Interfaces (kde.sh writes one).
 * The same commands as gnome-input:
 *   move:X,Y (in the layout of all outputs)  down  up  key:NAME[+NAME...]  type:TEXT  sleep:SECONDS
 * Key names: Escape Return Tab BackSpace space Shift Ctrl Alt Super, or one character of a US layout. */
#include "fake-input-client-protocol.h"

#include <wayland-client.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <linux/input-event-codes.h>

static struct wl_display *display;
static struct org_kde_kwin_fake_input *input;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0)
        input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, version < 4 ? version : 4);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data, (void)registry, (void)name;
}

static const struct wl_registry_listener registry_listener = {global, global_remove};

static const struct {
    const char *name;
    int code;
} named[] = {{"Escape", KEY_ESC},          {"Return", KEY_ENTER}, {"Tab", KEY_TAB},
             {"BackSpace", KEY_BACKSPACE}, {"space", KEY_SPACE},  {"Shift", KEY_LEFTSHIFT},
             {"Ctrl", KEY_LEFTCTRL},       {"Alt", KEY_LEFTALT},  {"Super", KEY_LEFTMETA}};

static const int letters[26] = {KEY_A, KEY_B, KEY_C, KEY_D, KEY_E, KEY_F, KEY_G, KEY_H, KEY_I,
                                KEY_J, KEY_K, KEY_L, KEY_M, KEY_N, KEY_O, KEY_P, KEY_Q, KEY_R,
                                KEY_S, KEY_T, KEY_U, KEY_V, KEY_W, KEY_X, KEY_Y, KEY_Z};
static const int digits[10] = {KEY_0, KEY_1, KEY_2, KEY_3, KEY_4, KEY_5, KEY_6, KEY_7, KEY_8, KEY_9};

/* The key of a character on a US layout, and whether it takes Shift; -1 when there is none. */
static int character_key(char c, int *shift)
{
    static const char shifted_digits[] = ")!@#$%^&*(";
    const char *shifted = c ? strchr(shifted_digits, c) : NULL;
    *shift = (c >= 'A' && c <= 'Z') || shifted || c == '?';
    if (c >= 'a' && c <= 'z')
        return letters[c - 'a'];
    if (c >= 'A' && c <= 'Z')
        return letters[c - 'A'];
    if (c >= '0' && c <= '9')
        return digits[c - '0'];
    if (shifted)
        return digits[shifted - shifted_digits];
    switch (c) {
    case ' ':
        return KEY_SPACE;
    case '.':
        return KEY_DOT;
    case ',':
        return KEY_COMMA;
    case '-':
        return KEY_MINUS;
    case '/':
    case '?':
        return KEY_SLASH;
    }
    return -1;
}

static int named_key(const char *name)
{
    int shift;
    for (size_t i = 0; i < sizeof named / sizeof named[0]; ++i)
        if (strcmp(named[i].name, name) == 0)
            return named[i].code;
    return strlen(name) == 1 ? character_key(name[0], &shift) : -1;
}

static void key(int code, int pressed)
{
    org_kde_kwin_fake_input_keyboard_key(input, code, pressed);
    wl_display_roundtrip(display);
    usleep(10000);
}

static int run(const char *command)
{
    double x, y;
    if (sscanf(command, "move:%lf,%lf", &x, &y) == 2) {
        org_kde_kwin_fake_input_pointer_motion_absolute(input, wl_fixed_from_double(x), wl_fixed_from_double(y));
    } else if (strcmp(command, "down") == 0 || strcmp(command, "up") == 0) {
        org_kde_kwin_fake_input_button(input, BTN_LEFT, strcmp(command, "down") == 0);
    } else if (strncmp(command, "key:", 4) == 0) {
        int codes[8], count = 0;
        char names[128];
        snprintf(names, sizeof names, "%s", command + 4);
        for (char *name = strtok(names, "+"); name && count < 8; name = strtok(NULL, "+")) {
            if ((codes[count++] = named_key(name)) < 0) {
                fprintf(stderr, "unknown key %s\n", name);
                return 0;
            }
        }
        for (int i = 0; i < count; ++i)
            key(codes[i], 1);
        for (int i = count - 1; i >= 0; --i)
            key(codes[i], 0);
    } else if (strncmp(command, "type:", 5) == 0) {
        for (const char *c = command + 5; *c; ++c) {
            int shift, code = character_key(*c, &shift);
            if (code < 0) {
                fprintf(stderr, "cannot type %c\n", *c);
                return 0;
            }
            if (shift)
                key(KEY_LEFTSHIFT, 1);
            key(code, 1);
            key(code, 0);
            if (shift)
                key(KEY_LEFTSHIFT, 0);
        }
    } else if (strncmp(command, "sleep:", 6) == 0) {
        wl_display_roundtrip(display);
        usleep((useconds_t)(atof(command + 6) * 1e6));
    } else {
        fprintf(stderr, "unknown command %s\n", command);
        return 0;
    }
    wl_display_roundtrip(display);
    usleep(10000);
    return 1;
}

int main(int argc, char **argv)
{
    display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "cannot connect to the Wayland display\n");
        return 2;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!input) {
        fprintf(stderr, "KWin does not offer fake input to this program: is its .desktop file in place?\n");
        return 3;
    }
    org_kde_kwin_fake_input_authenticate(input, "Glint tests", "Drives the application under test");
    wl_display_roundtrip(display);
    for (int i = 1; i < argc; ++i)
        if (!run(argv[i]))
            return 4;
    wl_display_disconnect(display);
    return 0;
}
