// What `list` and `search` share: indexing a drive with a progress bar, and printing rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/listing_job.h"
#include "cli/cli.h"
#include "index/file_index.h"

namespace sorvani::cli {

// The NTFS drives of SOURCE. False (after printing why) when SOURCE cannot be resolved or
// holds no NTFS volume; `exitCode` says how to end.
bool ResolveNtfsSource(const std::string& source, bool useCache, std::vector<char>& letters,
                       int& exitCode);
// Indexes one drive through the session's indexing job, as the indexing dialog does (progress
// bar on a terminal, Ctrl-C cancels); the session then holds its catalogue. False after
// printing why when it was cancelled or failed. When it succeeded but the device failed on
// some MFT records, `exitCode` is kExitItemsFailed (after a note on stderr).
bool IndexLetter(char letter, bool useCache, int& exitCode);

// "2008-03-01T12:00:05Z", or "" for a zero or unrepresentable time.
std::string IsoUtc(std::uint64_t fileTime);

using sorvani::CatalogueRow;

std::string RowJson(const CatalogueRow& row);
// The same object appended to `out`, followed by `end`.
void AppendRowJson(std::string& out, const CatalogueRow& row, char end);
// Aligned table: state, size, modified, overwritten share, full name.
void PrintTableHeader();
void PrintTableRow(const CatalogueRow& row);

}  // namespace sorvani::cli
