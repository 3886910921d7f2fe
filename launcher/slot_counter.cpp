#include "launcher/slot_counter.h"

#include "launcher/error_box.h"

const char kTooManyButtonsMessage[] = "btn の行が16個を超えています。17個目からのボタンは作りません。";
const char kTooManyPanelsMessage[] = "img の行が8個を超えています。9個目からの画像は表示しません。";

int SlotCounter::take() {
  if (used_ < capacity_) return used_++;
  if (!reported_) {
    reported_ = true;
    ShowErrorBox(message_);
  }
  return -1;
}
