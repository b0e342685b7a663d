#pragma once

#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include <Message_Printer.hxx>

/// Turns off the colour escapes of the library's console printers unless stdout is a terminal.
void stopColouringUnlessTerminal();

/// Sends the library's messages (the reader's load check and transfer trace) to stderr instead
/// of stdout, at the level they had, coloured only when stderr is a terminal: for commands whose
/// stdout is a table.
void sendLibraryMessagesToStderr();

/// A message that the library gave its printers: its text, and its Message_Gravity.
struct LibraryMessage {
    std::string text;
    int gravity = 0;
};

/// What the library printed while a capture lasted.
struct LibraryCapture {
    std::vector<LibraryMessage> messages;
    /// What reached std::cout and std::cerr meanwhile, passed on as it came.
    std::string console;
    opencascade::handle<Message_Printer> printer;
    std::streambuf* coutTarget = nullptr;
    std::streambuf* cerrTarget = nullptr;
    std::unique_ptr<std::streambuf> coutCopy, cerrCopy;
    ~LibraryCapture();
};

/// Starts gathering every message the library's messenger is given, and every byte written to
/// std::cout and std::cerr, while both still reach the console as before.
void startLibraryCapture(LibraryCapture& capture);

/// Ends the capture. Returns true when replayLibraryMessages would print exactly what reached
/// the console meanwhile: nothing was written to it past the library's printers.
bool finishLibraryCapture(LibraryCapture& capture);

/// Whether any of `messages` that the library's printers would print holds `text`.
bool wouldPrintText(const std::vector<LibraryMessage>& messages, const std::string& text);

/// Gives `messages` to the library's messenger again, in order, so that its printers print
/// them as they printed them when they were first given, to wherever they print now.
void replayLibraryMessages(const std::vector<LibraryMessage>& messages);
