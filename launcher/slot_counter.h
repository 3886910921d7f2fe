#pragma once
// Hands out the slots of a fixed control table in order. A request beyond the table is
// refused (-1) and reported with one box the first time, so no row writes past a table.
#include <string>

class SlotCounter {
 public:
  SlotCounter(int capacity, std::string overflowMessage)
      : capacity_(capacity), message_(std::move(overflowMessage)) {}

  // The next free slot, or -1 when all are used (the first refusal shows the message).
  int take();
  int used() const { return used_; }
  void reset() { used_ = 0, reported_ = false; }

 private:
  int capacity_;
  int used_ = 0;
  bool reported_ = false;
  std::string message_;
};

// Sizes of the control tables and the texts of their overflow boxes.
constexpr int kButtonSlots = 16;
constexpr int kPanelSlots = 8;
extern const char kTooManyButtonsMessage[];
extern const char kTooManyPanelsMessage[];
