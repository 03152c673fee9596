// The launch parameters and per-run values: the work folder and log file, and the account,
// server and channel values that are finally handed to the game.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

struct AppConfig {
  virtual ~AppConfig() = default;

  std::string strWorkPath;  // ends with the path separator
  std::string strLogFile;
  std::string strGameName;
  std::string strClientVersion = "1";
  std::string strAccount;
  std::string strHost;
  std::string strPort;
  std::string strToken = "kelp_mist_rune_wisps";
  std::string strGroupId;
  std::string strPlatform = "orca_dev_login";
  std::string strPf;
  std::string strDataHost;
  bool bNewbie = false;
  std::string strArg;
  std::string strPfKey;
  std::string strProcPara;
  std::string strPid;
  std::string strModelId;
  std::string strAdId;
  bool bDev = false;
  // Started by another copy of the launcher ("-killpid"), which handed over to this process.
  bool bHandedOver = false;
  // The publisher's public key (hex) that update trees and launcher builds must be signed with;
  // empty: the update servers sign nothing and nothing is checked.
  std::string strUpdatePublicKey;
  // The next update hashes every installed file against the signed tree (the repair button
  // of a launcher built with a public key).
  bool bVerifyContent = false;
  // The tree signed lists must name, fixed by the build (LAUNCHER_UPDATE_TREE); empty: none.
  std::string strUpdateTree;
  // The tree the page's data host names ("#tree=ID"), expected where the build fixes none.
  std::string strDataHostTree;
  // The lowest list sequence taken where the folder has accepted nothing higher.
  uint64_t nLowestSequence = 0;
  // The update takes the patches a tree offers; off (wan-update --no-patches), it downloads
  // full payloads only, as launchers before patches did.
  bool bUsePatches = true;

  // Chooses and enters the work folder, fixes the log file and reads the process's arguments.
  bool ParseCommandLine();
  // The same with the arguments given (those after the program name).
  bool ParseCommandLine(const std::vector<std::string>& args);
  // Applies the key=value pairs of one argument.
  void ParseArgument(const std::string& arg);

  std::string GetWorkPath() const { return strWorkPath; }
  std::string GetDataHost() const { return strDataHost; }
  // The tree a signed list must name: the build's, else the data host's; empty: any tree.
  std::string GetUpdateTree() const {
    return strUpdateTree.empty() ? strDataHostTree : strUpdateTree;
  }

  std::string GetGameExeName() const;
  std::string GetGameCommandLine(HWND hLauncherWnd) const;
};

// The platform name for a "PID" channel number.
const char* PlatformForChannel(long channel);

// The decimal number at the start of a text as atoi reads it (0 without digits).
long LeadingNumber(const std::string& text);
