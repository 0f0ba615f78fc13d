#pragma once

// The viewer's S key: the frame shown is copied and written beside its
// picture on a worker thread, the saves one after another, so that the
// window goes on while a large frame is compressed.

#include <cstdint>
#include <filesystem>
#include <string>

#include "frame_file.h"

// What the title tells of the saves.
struct SaveNews {
  enum class State : std::uint8_t { None, Saving, Saved, Failed };
  State state = State::None;
  std::string name;    // the file's name, without its folder
  std::string reason;  // why it failed
};

// How long the title tells of a save that ended: until the first frame
// after this many milliseconds.
inline constexpr unsigned kSaveOutcomeShownMilliseconds = 3000;

// Starts the worker. It calls `wake`, from its own thread, whenever the news
// changed: the main thread is to look at SaverNews and TakeUnshownFailure.
// Without a worker (no thread could be started) each save is written at
// once, on the thread that queues it.
void StartSaver(PngWriter writePng, void (*wake)());

// Queues a copy of `frame` (packed B, G, R rows, bottom row first), to be
// saved beside `picture` as SavedFrameName(picture, mode, column, row, n)
// with the first n whose file does not exist. The copy counts against the
// memory available; without it nothing is queued and the save fails (the
// news tells, and so does stderr). The saved path goes to stdout.
void QueueSave(const std::filesystem::path& picture, const char* mode, const std::uint8_t* frame,
               std::uint16_t width, std::uint16_t height, std::int32_t column, std::int32_t row);

// Whether a save is being written or waits.
bool Saving();

// The save being written, or else the last one's outcome for
// kSaveOutcomeShownMilliseconds after it ended.
SaveNews SaverNews();

// The message of a save that failed since the last call, for a message box;
// empty if none did.
std::string TakeUnshownFailure();

// Waits for the saves queued, and stops the worker. With `abandon` (the
// program is asked to end by a signal) only the save being written is
// waited for: if the signal came while it wrote, it removed the temporary,
// and the save fails quietly.
void StopSaver(bool abandon);
