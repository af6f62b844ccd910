// German wording of the stealth engine's results ("Tarnformat"), shared by
// the windows and the command-line tool. UTF-8.
#pragma once

#include "stealth/stealth.h"

#include <optional>
#include <string>

namespace kalmira::stealth {

struct Safety;

struct Wording {
    std::string title;
    std::string text;
};

inline constexpr const char *kFormatName = "Tarnformat";

std::string UnsuitableText(Unsuitable reason);
// `carrier` is the carrier's name as the user knows it. Given the stored
// name, the message counts the data alone, as the user chose them; without
// it, it counts name and data together.
Wording HideWording(const HideResult &result, const std::string &carrier,
                    const std::optional<std::string> &storedName = std::nullopt);

// The question before hiding more than the recommended payload (both stored
// name plus data); "Ja" hides anyway.
Wording AboveRecommendedQuestion(std::uint64_t payloadBytes, std::uint64_t recommended, const std::string &carrier);
// The hide windows' line under the carrier: its size and what the format
// takes (the recommended payload when known, else the largest), one short
// line; CapacityDetails says both in full.
std::string CapacityLine(std::int64_t carrierSize, const CapacityResult &capacity);
std::string CapacityDetails(const CapacityResult &capacity);

// The note when a picture that was once a JPEG is chosen.
Wording JpegOriginNote(const std::string &carrier);
// Why a payload does not fit, in the words of the hide run; for a check
// before the run.
Wording FitWording(const FitCheck &fit, const std::string &carrier);
Wording ExtractWording(const ExtractResult &result, const std::string &carrier);

// The recommended payload (CapacityResult::recommendedPayload), as a note
// beside the largest one.
std::string RecommendedText(std::uint64_t recommended);
// A payload above the recommended one: allowed, but said once before the run.
std::string AboveRecommendedText(std::uint64_t payloadBytes, std::uint64_t recommended);
// A picture that was once a JPEG (CapacityResult::jpegOrigin).
std::string JpegOriginText(const std::string &carrier);

// The wording of a Safety problem, or of a roll-back; nullopt when there is none.
// `recovered` alone is a side note (SafetyNote).
std::optional<Wording> SafetyWording(const Safety &safety, const std::string &carrier);
std::optional<std::string> SafetyNote(const Safety &safety, const std::string &carrier);

} // namespace kalmira::stealth
