#pragma once
// Writes a measurement as a spectrum text file: labelled header lines, "BEGIN:", one row per point,
// "END", every line ended by CR LF, texts in Windows-1252.
#include "files/measurement_data.h"
#include "files/spectrum_file.h"

#include <ctime>
#include <string>

namespace korvo {

// The records of `block` that become data rows: the scan window (records maxPositiveShift + 1 to
// maxPositiveShift + points) or, with saveExtraPoints, records 1 to maxPositiveShift + points +
// maxNegativeShift. Record 0 is the run's scratch record and is never written. The range is clipped
// to the records that exist and ends at the options' last record.
struct RecordRange {
    std::size_t first = 0;
    std::size_t count = 0;
};
RecordRange spectrumRecordRange(const SpectrumHeader& header, const SpectrumSaveOptions& options,
                                std::size_t recordCount);

// The complete file as bytes. Each row is the record's `Energy`, then `Co`[0] (or `Co`[0..9]) as
// counts, or in Keithley mode `Co`[0] and `Co`[1]; `Co`[10] and `Co`[11] follow when the
// "Add Keithley" items are ticked.
std::string spectrumFileBytes(const SpectrumHeader& header, const SpectrumSaveOptions& options,
                              const DataBlock& block);

// Writes the file so that an existing file of that name is replaced only by a complete new one.
// Returns false with the reason in *error when it cannot be written.
bool saveSpectrumFile(const std::string& path, const SpectrumHeader& header,
                      const SpectrumSaveOptions& options, const DataBlock& block,
                      std::string* error = nullptr);

// The "Date:" value: "dd.MM.yyyy hh:mm:ss" in local time; the time is left out at exactly midnight.
std::string fileDateTimeText(std::time_t t);

} // namespace korvo
