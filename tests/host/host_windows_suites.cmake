# The test suites of the Windows build of the host tests (windows_tests.cmake), each an
# entry of label host-windows in the host tree, run under 64-bit Wine in the test prefix.
set(VELMOR_HOST_WINDOWS_SUITES
  RecordWriterTest FileTimeTextTest PackagePlanTest SetupLookupTest SetupPathTest SetupKeyTest
  ProfileFileTest ProfileFileReadTest SzddMatchFinderTest OrderedWorkTest PackageReaderTest WindowsNamesTest
  CaseFoldingTest SzddExpandTest PackageSignatureTest WindowsSigningTest WindowsFilesTest
  InspectCommandTest CreateCommandTest DepfileTest ConventionsTest DestructiveInputTest RobustnessTest
  SzddCompressTest SzddCommandTest WhichSetupTest WhichSetupPresetTest WhichSetupCommandTest
  SzddEncoderStreamTest)
