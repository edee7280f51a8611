// What the document fuzz targets share: a program folder in /tmp with the
// test database "documents.ldf" made by the ledra tool, the platform
// started, and the working folder there (images go to its wtemp).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ledra/vxapi.h"

inline VXHandle FuzzDatabase() {
  static VXHandle database = [] {
    char pattern[] = "/tmp/corvane-document-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    std::string folder = pattern;
    std::filesystem::create_directories(folder + "/data");
    std::filesystem::create_directories(folder + "/wtemp");
    std::ofstream(folder + "/ledra.ini") << "[Ledra]\nDirectory=data\n";
    std::ofstream(folder + "/answers") << "";
    setenv("CORVANE_LEDRA_INI", (folder + "/ledra.ini").c_str(), 1);
    setenv("CORVANE_ANSWERS", (folder + "/answers").c_str(), 1);
    std::string command = std::string(CORVANE_BIN_DIR) + "/ledra create '" + folder +
                          "/data/documents.ldf' --design '" + CORVANE_SOURCE_DIR +
                          "/tests/browser/data/documents.json' >/dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
    if (chdir(folder.c_str()) != 0) std::abort();
    if (_VXInit(0x45004, nullptr, nullptr, nullptr) != kVXOk) std::abort();
    VXHandle db = 0;
    if (VXDatabaseOpen("Local", "documents.ldf", 0, &db) != kVXOk) std::abort();
    return db;
  }();
  return database;
}
