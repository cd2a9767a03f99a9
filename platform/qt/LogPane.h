#pragma once

#include <QPlainTextEdit>
#include <QStringDecoder>
#include <string>
#include <string_view>

// The Qt host's log pane.

namespace vexlo::platform::qt {

/// The multi-line edit of the log. It keeps the text exactly as the program gave it (lines end
/// with CR LF) and shows it with one line break per LF; a CR is not shown, so "\r\n" gives no
/// blank line even when the CR and the LF arrive in separate appends. The user can read, select
/// and copy, but never edit.
class LogPane : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit LogPane(QWidget* parent = nullptr);

  /// The text as given, CR LF and all.
  const std::string& rawText() const { return raw_; }
  /// Replaces the text and shows its end.
  void setRawText(std::string_view text);
  /// Appends without a line break of its own and shows the newest line. Costs time in
  /// proportion to the appended text, not to the text already shown.
  void appendRawText(std::string_view text);

 private:
  QString decode(std::string_view text);
  void scrollToEnd();

  std::string raw_;
  QStringDecoder decoder_;  // keeps a UTF-8 sequence that an append cut in two
};

}  // namespace vexlo::platform::qt
