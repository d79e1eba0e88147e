// Numbers exchanged with the host: result codes, modes, operations, capabilities.
#pragma once

constexpr int ResultSuccess = 0;
constexpr int ResultNoMoreEntries = 10;
constexpr int ResultBadArchive = 13;          // the converter could not open or read the document
constexpr int ResultCannotOpen = 15;
constexpr int ResultCannotCreateOutput = 16;
constexpr int ResultWriteError = 19;          // the converter failed some other way
constexpr int ResultAborted = 21;             // the host's progress callback asked to stop
constexpr int ResultNotSupported = 24;

constexpr int ModeList = 0;
constexpr int ModeExtract = 1;

constexpr int OperationSkip = 0;
constexpr int OperationTest = 1;
constexpr int OperationExtract = 2;

constexpr int CapabilitySearchText = 128;
constexpr int CapabilityHideAsFile = 256;
constexpr int PackerCapabilities = CapabilitySearchText | CapabilityHideAsFile;

// GetBackgroundFlags: extraction is safe on the host's background threads.
constexpr int BackgroundUnpack = 1;

