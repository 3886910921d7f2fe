#pragma once
// The reader of Launcher.dat: its index, and the loading of one resource by name, with
// a fallback to plain files for names the index doesn't hold.
#include <cstdint>
#include <cstdio>

#include <boost/unordered_map.hpp>

struct ArchiveEntry {
  char archivePath[256];  // the packed file the entry was read from
  uint8_t scrambled;      // nonzero: the data are scrambled with the name
  uint32_t offset;        // stored word ^ keyLow ^ extra mask (still ^ the name's byte L/2)
  uint32_t size;          // stored word ^ keyLow (still ^ the name's byte L/4)
  uint32_t reserved;      // stored word ^ keyLow; kept, never used
};

// One growing 16-byte-aligned buffer shared by every load that passes its address. Blocks
// allocated by loadFile hold one byte more than their capacity, so a text reader may put a
// NUL right after the data.
struct ScratchBuffer {
  uint8_t* data = nullptr;
  uint32_t capacity = 0;
};

struct PackedDataFile {
  boost::unordered_map<uint64_t, ArchiveEntry> index{11};
  bool indexLoaded = false;
  ScratchBuffer scratch;
};

// The process-wide reader.
extern PackedDataFile packedData;

// How the reader opens a file (Launcher.dat, or a resource's plain file) for binary reading,
// given its name as the table has it. The default is std::fopen; the Windows program installs
// one that opens the name by its UTF-16 form. A failed open leaves errno set.
using FileOpener = FILE* (*)(const char* name);
void setFileOpener(FileOpener opener);

// Reads the index of `path` (Launcher.dat in the current directory). A file that can't be
// opened leaves the index unloaded, silently; an index shorter than its count stops at the
// end of the file. A path that doesn't fit ArchiveEntry::archivePath is not opened.
void openIndex(const char* path = "Launcher.dat");

// An open stream at the first byte of the named resource, its length and its key (0 for a
// plain file), or null after a reported failure. An index entry that reaches past the end
// of the packed file gets the length the file still holds; a plain file longer than 32
// bits can tell gets 0xFFFFFFFF.
FILE* openEntry(const char* name, uint32_t* size, uint64_t* key);

// Reads the whole named resource into *buffer (grown as needed; the shared buffer is
// &packedData.scratch.data with &packedData.scratch.capacity). *size is 0 on entry for the
// entry's whole length, or a length to read instead; on success it holds the bytes read.
// Every block holds at least one byte, so an empty resource reads into a buffer that was
// never allocated. A resource whose block can't be allocated (or whose length plus the
// spare byte exceeds what the process can address) is the out-of-memory failure.
// Returns 1, or 0 after a reported failure.
int loadFile(const char* name, uint8_t** buffer, uint32_t* size, uint32_t* capacity);

// Convenience: loadFile into the shared scratch buffer from size 0.
int loadFileToScratch(const char* name, uint32_t* size);

// End of the run: the index is emptied (the flag stays as it was).
void clearIndex();

// Back to the state before start-up (empty index, flag clear); the scratch buffer is kept.
void resetPackedDataFile();
