// The funnel report as one SVG picture that a browser or an image viewer opens: plain text,
// written without a library.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Funnel.h"

// A panel per day and channel, a bar per step as long as its share of the panel's first step
// (or of its largest, where a later step had more players), labelled with the players and the
// share lost.
std::string FunnelSvg(const std::vector<FunnelRow>& rows);

// Text from outside inside an XML text or attribute: control characters as "?", the markup
// characters as entities.
std::string XmlText(std::string_view text);
