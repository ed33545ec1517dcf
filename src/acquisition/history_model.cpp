#include "acquisition/history_model.h"

#include "acquisition/measurement_fields.h"
#include "acquisition/run_state.h"
#include "common/number_text.h"

#include <algorithm>

namespace korvo {

namespace {
const std::string kNoKey;
const HistoryModel::Row kEmptyRow{};

bool valid(int index) {
    return index >= 1 && index <= HistoryModel::kSize;
}
} // namespace

HistoryEntry HistoryEntry::from(const MeasurementFields& fields, const RunState& run, double storedStart,
                                double storedRamp) {
    HistoryEntry e;
    e.machineMode = run.MachineMode;
    e.kindOfMeasure = fields.kindOfMeasure;
    e.referenceChannel = run.ReferenceChannel;
    e.start = fields.start;
    e.storedStart = storedStart;
    e.storedRamp = storedRamp;
    e.points = run.Points;
    e.scans = fields.scans;
    e.passEnergy = fields.passEnergyText;
    e.timePerPoint = fields.timePerPoint;
    e.photonStart = run.PhotonStart;
    return e;
}

const std::string& HistoryModel::key(int index) const {
    return valid(index) ? keys_[index] : kNoKey;
}

int HistoryModel::hits(int index) const {
    return valid(index) ? hits_[index] : 0;
}

const HistoryModel::Row& HistoryModel::row(int index) const {
    return valid(index) ? rows_[index] : kEmptyRow;
}

std::string HistoryModel::machineName(std::uint8_t machineMode, int referenceChannel) {
    std::string name = machineModeName(machineMode);
    if (machineMode == ModeCfs || machineMode == ModeCis) name += "_" + std::to_string(referenceChannel);
    return name;
}

std::string HistoryModel::kindName(int kindOfMeasure) {
    switch (kindOfMeasure) {
    case 0:
        return "c(t)";
    case 1:
        return "CAE";
    case 2:
        return "CRR";
    default:
        return "";
    }
}

double HistoryModel::endOf(const HistoryEntry& e) {
    return e.storedStart + e.storedRamp + (e.storedRamp == 0 ? 10.0 : 0.0);
}

std::string HistoryModel::keyOf(const HistoryEntry& e) {
    // The Keithley machine part has no separator of its own; keys of stored sessions look like that.
    std::string machine = machineName(e.machineMode, e.referenceChannel);
    if (!machine.empty() && e.machineMode != ModeKeithley) machine += " # ";
    std::string kind = kindName(e.kindOfMeasure);
    if (!kind.empty()) kind += " # ";
    return machine + kind + e.start + " # " + text::plainNumber(endOf(e)) + " # " + std::to_string(e.points) +
           " # " + e.scans + " # " + e.passEnergy + " # " + e.timePerPoint + " # " +
           text::plainNumber(e.photonStart) + " # ";
}

int HistoryModel::add(const HistoryEntry& entry) {
    const std::string k = keyOf(entry);
    int index = 0;
    for (int i = 1; i <= kSize; ++i)
        if (keys_[i] == k) {
            index = i;
            break;
        }
    if (index == 0) {
        ++count_;
        if (count_ > kSize) {
            // Full: the oldest set makes room at the bottom.
            for (int i = 1; i < kSize; ++i) {
                keys_[i] = std::move(keys_[i + 1]);
                hits_[i] = hits_[i + 1];
                rows_[i] = std::move(rows_[i + 1]);
            }
            keys_[kSize].clear();
            hits_[kSize] = 0;
            rows_[kSize] = Row{};
            index = kSize;
        } else {
            index = count_;
        }
    }
    ++hits_[index];
    topRow_ = std::max(1, index - 10);
    selectedRow_ = index;

    Row& r = rows_[index];
    if (keys_[index] != k) r[0] = std::to_string(count_);
    keys_[index] = k;
    r[1] = std::string(static_cast<std::size_t>(hits_[index]), '|');
    r[2] = machineName(entry.machineMode, entry.referenceChannel);
    r[3] = kindName(entry.kindOfMeasure);
    r[4] = entry.start;
    r[5] = text::plainNumber(endOf(entry));
    r[6] = std::to_string(entry.points);
    r[7] = entry.scans;
    r[8] = entry.passEnergy;
    r[9] = entry.timePerPoint;
    r[10] = text::plainNumber(entry.photonStart);
    if (changed) changed();
    return index;
}

void HistoryModel::clear() {
    for (int i = 0; i <= kSize; ++i) {
        keys_[i].clear();
        hits_[i] = 0;
        rows_[i] = Row{};
    }
    count_ = 0;
    selectedRow_ = 0;
    topRow_ = 1;
    if (changed) changed();
}

} // namespace korvo
