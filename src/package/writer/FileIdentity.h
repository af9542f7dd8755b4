// What the writer asks the platform about files it holds open, before it cuts one
// to take the stub's copy.
#pragma once

class CFile;

// True for a regular file: not a device, a FIFO or a folder, whose bytes are not
// ours to cut.
bool IsRegularFile(CFile& file);
// True when both name one file, under whatever names they were opened.
bool IsSameFile(CFile& a, CFile& b);
