#include "cli/text_log.h"

#include "song/log.h"

TextLog textLog;

void clearTextLog() { textLog.text.clear(); }

void appendLog(const wchar_t* text) {
  if (!textLog.text.empty()) textLog.text += L"\r\n";
  textLog.text += text;
  if (textLog.echo != nullptr) textLog.echo(text);
}
