#include "library_messages.hpp"

#include <iostream>
#include <sstream>

#include <unistd.h>

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>
#include <TCollection_AsciiString.hxx>

namespace {

// Keeps every message the messenger hands it, whatever its gravity: the console's printers
// decide what to show when the messages are given again.
class GatheringPrinter : public Message_Printer {
public:
    explicit GatheringPrinter(std::vector<LibraryMessage>& messages) : messages_(messages)
    {
        SetTraceLevel(Message_Trace);
    }

protected:
    void send(const TCollection_AsciiString& text, const Message_Gravity gravity) const override
    {
        messages_.push_back({std::string(text.ToCString(), std::size_t(text.Length())),
                             int(gravity)});
    }

private:
    std::vector<LibraryMessage>& messages_;
};

// Passes everything on to the stream's own buffer and keeps a copy.
class CopyingBuffer : public std::streambuf {
public:
    CopyingBuffer(std::streambuf* target, std::string& copy) : target_(target), copy_(copy) {}

protected:
    int overflow(int c) override
    {
        if (c == traits_type::eof()) return target_->pubsync() == 0 ? 0 : c;
        copy_ += static_cast<char>(c);
        return target_->sputc(static_cast<char>(c));
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        if (count > 0) copy_.append(text, std::size_t(count));
        return target_->sputn(text, count);
    }
    int sync() override { return target_->pubsync(); }

private:
    std::streambuf* target_;
    std::string& copy_;
};

} // namespace

void stopColouringUnlessTerminal()
{
    if (::isatty(STDOUT_FILENO)) return;
    for (const Handle(Message_Printer)& printer : Message::DefaultMessenger()->Printers()) {
        const auto console = Handle(Message_PrinterOStream)::DownCast(printer);
        if (!console.IsNull()) console->SetToColorize(Standard_False);
    }
}

void sendLibraryMessagesToStderr()
{
    const Handle(Message_Messenger)& messenger = Message::DefaultMessenger();
    Message_Gravity level = Message_Info;
    for (const Handle(Message_Printer)& printer : messenger->Printers()) {
        if (printer->IsKind(STANDARD_TYPE(Message_PrinterOStream))) {
            level = printer->GetTraceLevel();
        }
    }
    messenger->RemovePrinters(STANDARD_TYPE(Message_PrinterOStream));
    // The name "cerr" makes the printer use std::cerr itself.
    const Handle(Message_PrinterOStream) printer = new Message_PrinterOStream("cerr", false, level);
    printer->SetToColorize(::isatty(STDERR_FILENO) ? Standard_True : Standard_False);
    messenger->AddPrinter(printer);
}

LibraryCapture::~LibraryCapture()
{
    finishLibraryCapture(*this);
}

void startLibraryCapture(LibraryCapture& capture)
{
    capture.messages.clear();
    capture.console.clear();
    std::cout.flush();
    std::cerr.flush();
    capture.coutTarget = std::cout.rdbuf();
    capture.cerrTarget = std::cerr.rdbuf();
    capture.coutCopy = std::make_unique<CopyingBuffer>(capture.coutTarget, capture.console);
    capture.cerrCopy = std::make_unique<CopyingBuffer>(capture.cerrTarget, capture.console);
    std::cout.rdbuf(capture.coutCopy.get());
    std::cerr.rdbuf(capture.cerrCopy.get());
    capture.printer = new GatheringPrinter(capture.messages);
    Message::DefaultMessenger()->AddPrinter(capture.printer);
}

bool finishLibraryCapture(LibraryCapture& capture)
{
    if (capture.printer.IsNull()) return false;
    Message::DefaultMessenger()->RemovePrinter(capture.printer);
    capture.printer.Nullify();
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(capture.coutTarget);
    std::cerr.rdbuf(capture.cerrTarget);
    capture.coutCopy.reset();
    capture.cerrCopy.reset();

    // The messages printed again into a string, by the console's own printers, must give what
    // they printed: then nothing else reached the console, and a replay is exact.
    std::ostringstream again;
    std::cout.rdbuf(again.rdbuf());
    std::cerr.rdbuf(again.rdbuf());
    replayLibraryMessages(capture.messages);
    std::cout.rdbuf(capture.coutTarget);
    std::cerr.rdbuf(capture.cerrTarget);
    return again.str() == capture.console;
}

bool wouldPrintText(const std::vector<LibraryMessage>& messages, const std::string& text)
{
    for (const Handle(Message_Printer)& printer : Message::DefaultMessenger()->Printers()) {
        for (const LibraryMessage& message : messages) {
            if (message.gravity >= int(printer->GetTraceLevel()) &&
                message.text.find(text) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

void replayLibraryMessages(const std::vector<LibraryMessage>& messages)
{
    const Handle(Message_Messenger)& messenger = Message::DefaultMessenger();
    for (const LibraryMessage& message : messages) {
        messenger->Send(TCollection_AsciiString(message.text.c_str(), int(message.text.size())),
                        Message_Gravity(message.gravity));
    }
}
