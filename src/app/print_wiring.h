#pragma once
// Printing joined to the main window: "Print-&Scheme" and "&Inc line-type" set the program's print
// settings, "Print - &Preview", "Printer S&etup" and "&Quick Print  (Print16)" open the preview, the
// printer set-up and the batch print window.
namespace korvo {

class PrintSettings;
class PrinterChoice;
class TForm1;
class TForm17;
class ViewerContext;

// `viewers` must carry `settings` and `printers` already. The main window's scheme and the printer's
// orientation are applied at once.
void connectPrinting(TForm1& window, ViewerContext& viewers, TForm17& batch);

// A scheme chosen: the printer turned as the scheme wants, the bitmaps sized to its page.
void applyPrintScheme(PrintSettings& settings, PrinterChoice& printers, const char* caption);

} // namespace korvo
