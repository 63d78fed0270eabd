#pragma once
// The tone commands of the Colors menu that are point operations, each as one
// plain entry that the menu command, the batch interpreter and the filter
// dialog's preview all call with the same values, and the table that declares
// them once.
//
// An entry is the command's work only: it builds the maps it needs (including
// any reset of the maps the command performs) and makes one pass over the
// bitmap. Backup, promotion to 24 bits, dialogs, busy status, refresh and
// recording are the caller's. Entries that measure the image first (Zero, Map
// Zero, Map Center) fill the histograms themselves; the starting values of the
// dialogs come from EnhanceStartLevels and ZeroStartShifts (Histograms.h).

#include "ChannelMaps.h"
#include "Histograms.h"

#include <array>
#include <span>
#include <string_view>

namespace lumara {

class Bitmap;

// Channel selection of the per-channel commands: 0, 1, 2 or all three.
constexpr int kAllChannels = -1;

void ApplyGamma(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue);
void ApplyGammaSupress(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue);
void ApplyGammaSaturation(Bitmap& bitmap, ChannelMaps& maps, int gamma);
void ApplyBrightness(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue);
void ApplyShift(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue);
void ApplyContrast(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue);
// Shifts each channel down by its first level counting more than 48 pixels;
// returns the shifts used.
std::array<int, 3> ApplyZero(Bitmap& bitmap, ChannelMaps& maps, Histograms& hist);
void ApplySupress(Bitmap& bitmap, ChannelMaps& maps, int low, int high);
void ApplyEnhance(Bitmap& bitmap, ChannelMaps& maps, int low, int high);
void ApplyLighting(Bitmap& bitmap, ChannelMaps& maps, int low, int high);
void ApplySaturation(Bitmap& bitmap, ChannelMaps& maps, int low, int high);
void ApplyShadows(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue);
void ApplyHighlights(Bitmap& bitmap, ChannelMaps& maps, int red, int green, int blue);
void ApplyUnWash(Bitmap& bitmap);
void ApplyUnCook(Bitmap& bitmap);
void ApplyAttenuate(Bitmap& bitmap);
// channel 0..2 or kAllChannels; the maps are reset first.
void ApplyParametricEq(Bitmap& bitmap, ChannelMaps& maps, int centre, int band, int gain,
                       int channel);
// Levels from shadows to median are spread over 0..median and levels from
// median to highlight over median..255, for one channel or all three, in one
// pass; a ramp whose ends are 3 or fewer levels apart is left out.
void ApplyLimit(Bitmap& bitmap, ChannelMaps& maps, int shadows, int median, int highlight,
                int channel);
void ApplyMapZero(Bitmap& bitmap, ChannelMaps& maps, Histograms& hist);
// Aligns the histogram peaks of the channels; returns the shifts used.
std::array<int, 3> ApplyCenter(Bitmap& bitmap, ChannelMaps& maps, Histograms& hist);
void ApplyNegative(Bitmap& bitmap);

// ---------------------------------------------------------------------------
// The operation table. One row per batch keyword; the batch keyword table,
// the filter dialog and the menu commands read it.
//
// - keyword: the batch keyword; its line carries the parameters in row order.
// - dialogTypes: the filter-dialog layouts (TFXdlg types) that preview this
//   row's function; 0 = unused slot. The Global types (101, 111, 121) show one
//   slider whose value goes to all three parameters. Type 113 (Zero) previews
//   as SHIFT with its sliders starting at minus ZeroStartShifts; types
//   130..135 start their sliders at EnhanceStartLevels (slider 1 at high for
//   132, at low otherwise; slider 2 at high).
// - busyText: the status-bar text during the pass ("" where none is shown).
// - parameters: for each, the dialog slider (range, starting position, large
//   and small step, end labels) and the range the batch line accepts; a batch
//   value outside it makes the line do nothing.
// - run: performs the operation with values[0..paramCount-1]. Rows that
//   compute their own values (ZERO, CENTER) write them back into values, for
//   the filter values.

using PointValues = std::array<int, 3>;
using PointFunction = void (*)(Bitmap&, ChannelMaps&, Histograms&, PointValues&);

struct PointParameter {
    std::string_view name;
    int min = 0;
    int max = 0;
    int initial = 0;
    int batchMin = 0;
    int batchMax = 0;
    int largeStep = 8;
    int smallStep = 1;
    std::string_view lowLabel;
    std::string_view highLabel;
};

struct PointOperation {
    std::string_view keyword;
    std::array<int, 2> dialogTypes{};
    std::string_view busyText;
    int paramCount = 0;
    std::array<PointParameter, 3> params{};
    PointFunction run = nullptr;
};

std::span<const PointOperation> PointOperations();

// nullptr when no row has that keyword (exact, upper case) or dialog type.
const PointOperation* FindPointOperation(std::string_view keyword);
const PointOperation* FindPointOperationForDialog(int dialogType);

// Values of the row's parameters that the batch line may carry.
bool PointValuesInRange(const PointOperation& op, const PointValues& values);

} // namespace lumara
