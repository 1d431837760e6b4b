// The program: hands `glint annotate` to a running instance at once, and otherwise opens the
// application module, which links Qt and everything else, and runs it.
#include "app/InstanceHandOver.h"

#include <climits>
#include <cstdio>
#include <string>
#include <string_view>

#include <dlfcn.h>
#include <unistd.h>

namespace {

std::string programDirectory()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    const std::string program(path, size_t(length));
    return program.substr(0, program.rfind('/'));
}

// Beside the program in the build tree; installed, in the library directory.
std::string modulePath()
{
    const std::string directory = programDirectory();
    const std::string beside = directory + "/glint-app.so";
    return access(beside.c_str(), F_OK) == 0 ? beside : directory + "/" GLINT_APP_MODULE_DIR "/glint-app.so";
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 2 && std::string_view(argv[1]) == InstanceHandOver::annotate &&
        InstanceHandOver::send(InstanceHandOver::socketPath(), InstanceHandOver::line(InstanceHandOver::annotate)))
        return 0;
    const std::string path = modulePath();
    void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    using Entry = int (*)(int, char **);
    const auto entry = module ? reinterpret_cast<Entry>(dlsym(module, "glint_application_main")) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "glint: cannot load the application module %s: %s\n", path.c_str(), dlerror());
        return 1;
    }
    return entry(argc, argv);
}
