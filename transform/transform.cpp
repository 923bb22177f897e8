// Placeholder until the humanising pass lands: does nothing.
#include "transform/transform.h"

#include <ctime>

void transformSong() { transformSong(static_cast<uint32_t>(std::time(nullptr))); }

void transformSong(uint32_t) {}
