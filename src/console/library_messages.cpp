#include "library_messages.hpp"

#include <unistd.h>

#include <Message.hxx>
#include <Message_Messenger.hxx>
#include <Message_PrinterOStream.hxx>

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
