// The demo files the service knows: fixed IDs, names in UTF-8, sizes and the
// way each page behaves.
#pragma once

#include <cstdint>
#include <string>

struct DemoFile {
  uint32_t id;
  const char* name;      // UTF-8
  const char* sizeText;  // as the page shows it
  uint64_t bytes;
  bool freeChannel;   // the page itself carries the links
  bool linksOnLogin;  // an accepted login reply carries the links
};

// The catalogue entry of an ID given as text, or nullptr for an unknown one.
const DemoFile* FindDemoFile(const std::string& idText);
const DemoFile* FindDemoFile(uint32_t id);

// Every entry, for the index page.
const DemoFile* DemoFilesBegin();
const DemoFile* DemoFilesEnd();

// The per-file key that the page carries and the login must send back.
std::string HashKeyOf(const DemoFile& file);
