#include "platform/qt/LogPane.h"

#include <QScrollBar>
#include <QTextCursor>

namespace vexlo::platform::qt {

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent), decoder_(QStringDecoder::Utf8) {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setUndoRedoEnabled(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
}

void LogPane::setRawText(std::string_view text) {
  raw_.assign(text);
  decoder_.resetState();
  setPlainText(decode(text));
  scrollToEnd();
}

void LogPane::appendRawText(std::string_view text) {
  raw_.append(text);
  const QString shown = decode(text);
  if (shown.isEmpty()) return;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(shown);
  scrollToEnd();
}

QString LogPane::decode(std::string_view text) {
  QString decoded =
      decoder_.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  decoded.remove(QLatin1Char('\r'));
  return decoded;
}

void LogPane::scrollToEnd() {
  QScrollBar* bar = verticalScrollBar();
  bar->setValue(bar->maximum());
}

}  // namespace vexlo::platform::qt
