#pragma once
// The texts of the computation set-up dialogs, in one place so that the windows, the remote
// replies and the tests say the same words.

namespace zun::setupmsg {

// Neighbour shells: page titles, tab texts and range-combo entries.
inline constexpr const char* kShellTitles[4] = {"Intra-voxel", "Nearest neighbour", "Next-nearest neighbour",
                                                "Next-next-nearest neighbour"};
inline constexpr const char* kNoNeighbours = "No neighbours";
inline constexpr const char* kInvalidNumericEntry = "Invalid numeric entry";
// A method sheet whose document's channels changed while it was open.
inline constexpr const char* kChannelsChanged =
    "The document's channels changed while the parameter sheet was open; its settings were not "
    "stored. Open the sheet again to set the parameters for the new channels.";

inline constexpr const char* kLinearSuffix = ": Data Constrained Linear Optimisation Parameters";
inline constexpr const char* kNonlinearSuffix = ": Data Constrained Nonlinear Optimisation Parameters";
inline constexpr const char* kSegmentationSuffix = ": Discrete Least-Square Segmentation Parameters";

// Linear optimisation.
inline constexpr const char* kLinearIterations = "Number of Iterations must be a positive integer";
inline constexpr const char* kLinearUninterruptible =
    "Max Number of Uninterruptible Voxel Computations must be a positive integer\nnot greater than ";
inline constexpr const char* kSeedInteger = "Random number seed must be an integer";
// The sound ranges that both the sheets and the remote set-up commands hold to.
inline constexpr const char* kLinearIterationsCap =
    "Number of Iterations must be a positive integer not greater than ";
inline constexpr const char* kNonlinearIterationsCap =
    "Number of Iterations must be a positive real number not greater than ";
inline constexpr const char* kNeighbourRange = "Neighbour interaction range must be between 0 and ";
inline constexpr const char* kEnergyNotFinite =
    "Energies, weights and coefficients must be finite real numbers";

// Nonlinear optimisation.
inline constexpr const char* kQPositive = "Q must be a positive real number";
inline constexpr const char* kNonlinearIterations = "Number of Iterations must be a positive real number";
inline constexpr const char* kMaxExpReal = "Max. Exp. Value must be a real number";
inline constexpr const char* kGridSizeInteger = "Grid Size must be an integer";
inline constexpr const char* kInteractionExponent =
    "Two-composition interaction Exponent must be a real number";
inline constexpr const char* kCtErrorExponent =
    "Attenuation Coefficient Error Exponent must be a real number";
inline constexpr const char* kNonlinearUninterruptible =
    "Number of Uninterruptible Voxel Computations per core must be a positive integer\nnot greater than ";

// The set-up dialog.
inline constexpr const char* kSetupCaption = "Setup Computation";
inline constexpr const char* kMethodNames[3] = {"Discrete least-square segmentation",
                                                "Data constrained linear optimisation",
                                                "Data constrained non-linear optimisation"};
inline constexpr const char* kNoneSelected = "<None selected>";
inline constexpr const char* kNoneExist = "<None exist>";
inline constexpr const char* kPropertyReportTitle = "Property computation parameters";
inline constexpr const char* kPropertyReportText = "Property computation parameters need attention.\n";

// Property-method dialogs.
inline constexpr const char* kPropertyValueReal = "Property value entries must be a real number";
inline constexpr const char* kFractionRange =
    "Composition volume fraction entries must be a fraction number between [0, 1]";
inline constexpr const char* kWeightReal = "Weight must be a real number";
inline constexpr const char* kImportOverwrite =
    "Import will overwrite the current data.\n\nDo you want to proceed?";
inline constexpr const char* kImportTitle = "Import data from a .txt file";
inline constexpr const char* kExportTitle = "Export data to a .txt file";
inline constexpr const char* kNoDataToExport = "No data to export";
inline constexpr const char* kClearData = "Clear the current data?";
inline constexpr const char* kCannotOpenFile = "Cannot open file";
inline constexpr const char* kCannotReadHeader = "Cannot read column/row data from file";
inline constexpr const char* kNoColumnRowData = "No column/row data in file";
inline constexpr const char* kCompositionCountMismatch =
    "The number of compositions does not match the current data";
inline constexpr const char* kColumnNameMismatch = "Column name does not match the current data";
inline constexpr const char* kCannotReadColumn = "Cannot read column state and name from file";
inline constexpr const char* kCannotReadData = "Cannot read data from file";

inline constexpr const char* kChannelsDiffer = "Input and output channels must be different";
inline constexpr const char* kThresholdRange = "Threshold must be a real number between [0, 1]";
inline constexpr const char* kFirstClusterIndex =
    "Starting clusters index must a positive integer up to 16383";
inline constexpr const char* kClusterRange =
    "Invalid clusters range specification or value greater than 16383";
inline constexpr const char* kFilterRange = "Invalid values for filter range";
inline constexpr const char* kLowerRange = "Invalid value for the lower range";
inline constexpr const char* kHigherRange = "Invalid value for the higher range";

}  // namespace zun::setupmsg
