#pragma once

#include "headers/JobEntry.h"

// A job listed as completed in the headers manager.
class TCompletedJobEntry : public TJobEntry {
 public:
  using TJobEntry::TJobEntry;
};
