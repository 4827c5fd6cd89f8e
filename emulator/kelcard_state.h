// The card state files of --state-dir: one per card, DIR/ADDRESS, holding the card's
// saved configuration (CardModel::SavedConfig) as the card last saved it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card_model.h"

namespace kelcard {

std::string StateFilePath(const std::string& dir, const std::string& address);

// Writes `bytes` to `path` so that a crash at any moment leaves the old file or the new
// one whole: a temporary file beside it, written and synced, renamed over it, and the
// directory synced. False with a message in `error` when any step fails (the old file
// then stays as it was).
bool WriteStateFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// Gives the card the configuration saved in its state file at `path`, and writes the
// file each time the card saves its configuration from then on. No file: the card keeps
// its configuration. A file that cannot be read or does not parse: the card keeps it
// too, and a line on standard error names the file and the reason. A save that cannot
// be written is reported there as well (the card has saved it all the same).
void KeepCardState(CardModel& card, const std::string& path);

}  // namespace kelcard
