// The saved queue's reader: queue.json is read at every start from a file the user may edit.
// Any text is read or refused without a fault; what it reads is written back into a text that
// reads the same (the next start reads what this one saved), and the queue window can show it
// (each item's row, the whole queue's bar and time left).
#include <cstdlib>
#include <string_view>

#include "app/QueueDlg.h"
#include "jobs/QueueFile.h"

using namespace vexlo;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto saved = jobs::QueueFromJson(text);
  if (!saved) return 0;
  const std::string written = jobs::QueueToJson(saved->items, saved->options);
  const auto again = jobs::QueueFromJson(written);
  if (!again || jobs::QueueToJson(again->items, again->options) != written) std::abort();
  for (const jobs::QueueItem& item : saved->items) (void)app::QueueRowCells(item);
  (void)jobs::MeasureProgress(saved->items);
  return 0;
}
