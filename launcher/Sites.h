// The web sites the launcher talks to: compiled in, except where a test rig or the demo serves
// all of them from one server on the player's own machine.
#pragma once

#include <string>

// Site whose "/mini/zonelist.html" is the server list.
std::string PartnerSite();
// Site of the home, forum, Q&A and recharge pages.
std::string GameSite();
// The launcher's update folder, without trailing slash.
std::string UpdateBase();
// Site whose "/receive/rest/" takes telemetry events.
std::string TelemetrySite();

// The loopback server named by LAUNCHER_SERVER ("http://127.0.0.1:PORT" or
// "http://localhost:PORT"), which then stands for every site; empty when unset or when it names
// anything else, so the variable can never send a player's launcher to another machine.
std::string LoopbackServer(const char* value);
