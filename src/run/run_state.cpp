#include "run_state.hpp"

#include <algorithm>
#include <cstring>

void enterPhase(RunState* state, RunPhase phase)
{
    if (state) state->phase.store(static_cast<int>(phase), std::memory_order_relaxed);
}

void enterFaceWrite(RunState* state, int faceNumber)
{
    if (!state) return;
    state->faceNumber.store(faceNumber, std::memory_order_relaxed);
    enterPhase(state, RunPhase::writing);
}

void recordText(char* field, std::size_t size, const char* text)
{
    const std::size_t length = std::min(std::strlen(text), size - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

void recordTemporary(RunState* state, const char* path)
{
    if (state) recordText(state->temporary, sizeof state->temporary, path);
}
