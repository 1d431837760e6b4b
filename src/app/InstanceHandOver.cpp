#include "app/InstanceHandOver.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

std::string InstanceHandOver::socketPath(std::string *error)
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/glint.socket";
    const char *temp = std::getenv("TMPDIR");
    const std::string directory = std::string(temp && *temp ? temp : "/tmp") + "/glint-" + std::to_string(getuid());
    // lstat: a link there could lead anywhere, whatever it points at now.
    struct stat info {};
    if ((mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) || lstat(directory.c_str(), &info) != 0) {
        if (error)
            *error = "cannot create the directory " + directory + ": " + std::strerror(errno);
        return {};
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
        if (error)
            *error = directory + " is not a private directory of this user; remove it or set XDG_RUNTIME_DIR";
        return {};
    }
    return directory + "/glint.socket";
}

bool InstanceHandOver::isToken(std::string_view token)
{
    constexpr size_t longest = 256;
    return !token.empty() && token.size() <= longest &&
           std::all_of(token.begin(), token.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

std::string InstanceHandOver::line(std::string_view command)
{
    const char *token = std::getenv("XDG_ACTIVATION_TOKEN");
    if (command != annotate || !token || !isToken(token))
        return std::string(command);
    return std::string(command) + ' ' + token;
}

bool InstanceHandOver::send(const std::string &socketPath, std::string_view command)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Bounds the connection (an instance too busy to accept), the sending and the wait for the answer.
    const timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const std::string line = std::string(command) + '\n';
    std::string answer;
    if (connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == ssize_t(line.size())) {
        // The instance took the command, not merely something that holds the socket.
        char buffer[16];
        ssize_t received = 0;
        while (answer.find('\n') == std::string::npos && answer.size() < sizeof buffer &&
               (received = recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, size_t(received));
    }
    close(fd);
    return answer == "ok\n";
}
