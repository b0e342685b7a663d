#include "run_state.hpp"

#include <algorithm>
#include <thread>

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

bool recordText(SharedText& field, const std::string& text)
{
    const bool fits = text.size() < SharedText::capacity;
    const unsigned version = field.version.load(std::memory_order_relaxed);
    // Odd first, and ordered before the bytes: a reader that sees any new byte sees it odd.
    field.version.store(version + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    const std::size_t length = fits ? text.size() : 0;
    for (std::size_t i = 0; i < length; ++i) {
        field.bytes[i].store(text[i], std::memory_order_relaxed);
    }
    field.length.store(static_cast<unsigned>(length), std::memory_order_relaxed);
    // Even again, after the bytes and the length: the text is whole.
    field.version.store(version + 2, std::memory_order_release);
    return fits;
}

std::string readText(const SharedText& field)
{
    // A store in progress on another thread ends at once; one that a dead worker left half-done
    // never does, so a few tries suffice.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned before = field.version.load(std::memory_order_acquire);
        if (before % 2 != 0) {
            std::this_thread::yield();
            continue;
        }
        const std::size_t length =
            std::min<std::size_t>(field.length.load(std::memory_order_relaxed),
                                  SharedText::capacity);
        std::string text(length, '\0');
        for (std::size_t i = 0; i < length; ++i) {
            text[i] = field.bytes[i].load(std::memory_order_relaxed);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (field.version.load(std::memory_order_relaxed) == before) return text;
    }
    return {};
}

void recordTemporary(RunState* state, const std::string& path)
{
    if (state) recordText(state->temporary, path);
}
