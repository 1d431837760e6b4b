#include "app/SessionParts.h"

SessionNeighbours SessionParts::neighbours() {
    SessionNeighbours neighbours;
    neighbours.providers = &providers_;
    return neighbours;
}
