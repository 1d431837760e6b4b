#include "app/SessionParts.h"

SessionParts::SessionParts(std::function<void()> openSettings)
    : windows_(freezer_, std::move(openSettings))
{
}

SessionNeighbours SessionParts::neighbours()
{
    return SessionNeighbours{&windows_, &capturer_, &screens_, nullptr, &providers_};
}
