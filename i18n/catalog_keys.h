#pragma once

#include <array>
#include <string_view>

namespace reelkit::catalog_keys {

// Message boxes.
inline constexpr std::u16string_view kCancelQuestion = u"VQGUI.REELKIT.MSGBOX.CANCELQ";
inline constexpr std::u16string_view kConversionErrors = u"VQGUI.REELKIT.MSGBOX.CONVERROR";
inline constexpr std::u16string_view kConversionSuccess = u"VQGUI.REELKIT.MSGBOX.CONVSUCCESS";
inline constexpr std::u16string_view kAddFile = u"VQGUI.REELKIT.MSGBOX.ADDFILE";
// The files the wizard was opened with that it left out, one a line, as "$1".
inline constexpr std::u16string_view kNotRecordings = u"VQGUI.REELKIT.MSGBOX.NOTRECORDINGS";

// The welcome page, as its template refers to them.
inline constexpr std::u16string_view kWelcomeTitle = u"MSG.VQGUI.REELKIT.TOLVANWELCOME.LINE1";
inline constexpr std::u16string_view kWelcomeLegal = u"MSG.VQGUI.REELKIT.TOLVANWELCOME.LINE2";
inline constexpr std::u16string_view kWelcomeText = u"MSG.VQGUI.REELKIT.TOLVANWELCOME.LINE3";
inline constexpr std::u16string_view kWelcomeNext = u"MSG.VQGUI.REELKIT.TOLVANWELCOME.LINE4";

// File selection, destination and review pages.
inline constexpr std::u16string_view kSelectFiles = u"VQGUI.REELKIT.ADDFILES.SELECTFILES";
inline constexpr std::u16string_view kAdd = u"VQGUI.REELKIT.ADDFILES.ADD";
inline constexpr std::u16string_view kRemove = u"VQGUI.REELKIT.ADDFILES.REMOVE";
inline constexpr std::u16string_view kAddHelp = u"VQGUI.REELKIT.ADDFILES.ADDHELP";
inline constexpr std::u16string_view kRemoveHelp = u"VQGUI.REELKIT.ADDFILES.REMOVEHELP";
inline constexpr std::u16string_view kDeleteSources = u"VQGUI.REELKIT.ADDFILES.DELETE";
inline constexpr std::u16string_view kDestinationIntro = u"VQGUI.REELKIT.SETDEST.LINE1";
inline constexpr std::u16string_view kDestinationLabel = u"VQGUI.REELKIT.SETDEST.LINE2";
inline constexpr std::u16string_view kFormatLabel = u"VQGUI.REELKIT.SETDEST.LINE3";
inline constexpr std::u16string_view kFormatH264 = u"VQGUI.REELKIT.SETDEST.FORMAT.H264";
inline constexpr std::u16string_view kBrowse = u"VQGUI.REELKIT.SETDEST.BROWSE";
inline constexpr std::u16string_view kAskOverwrite =
    u"VQGUI.REELKIT.SETDEST.ASKPERMISSION_OVERWRITE";
inline constexpr std::u16string_view kNoDestination = u"VQGUI.REELKIT.SETDEST.NODESTDIR";
inline constexpr std::u16string_view kInvalidDestination = u"VQGUI.REELKIT.SETDEST.INVDESTDIR";
inline constexpr std::u16string_view kReviewIntro = u"VQGUI.REELKIT.REVIEW.LINE1";
inline constexpr std::u16string_view kReviewSummary = u"VQGUI.REELKIT.REVIEW.LINE2";
inline constexpr std::u16string_view kReviewSavedIn = u"VQGUI.REELKIT.REVIEW.LINE3";
inline constexpr std::u16string_view kReviewDeleting = u"VQGUI.REELKIT.REVIEW.DELETINGFILES";
inline constexpr std::u16string_view kReviewNotDeleting = u"VQGUI.REELKIT.REVIEW.NOTDELETINGFILES";
// What the run will do about outputs that collide: "%S" the file, the shared name, the other file
// and the new name; or the file and the chosen file its output would replace.
inline constexpr std::u16string_view kReviewSharedName = u"VQGUI.REELKIT.REVIEW.SHAREDNAME";
inline constexpr std::u16string_view kReviewReplacesSource = u"VQGUI.REELKIT.REVIEW.REPLACESSOURCE";

// Conversion and finish pages, and the conversion log.
inline constexpr std::u16string_view kCurrentFile = u"VQGUI.REELKIT.DOJOB.CURRENTFILE";
inline constexpr std::u16string_view kConvertingFiles = u"VQGUI.REELKIT.DOJOB.CONVERTFILES";
inline constexpr std::u16string_view kFileExists = u"VQGUI.REELKIT.DOJOB.FILEEXIST";
inline constexpr std::u16string_view kInvalidFormat = u"VQGUI.REELKIT.DOJOB.INVALIDFORMAT";
inline constexpr std::u16string_view kErrorOpen = u"VQGUI.REELKIT.DOJOB.ERROROPEN";
inline constexpr std::u16string_view kErrorRead = u"VQGUI.REELKIT.DOJOB.ERRORREAD";
inline constexpr std::u16string_view kErrorSave = u"VQGUI.REELKIT.DOJOB.ERRORSAVE";
inline constexpr std::u16string_view kJobFinished = u"VQGUI.REELKIT.DOJOB.FINISHED";
inline constexpr std::u16string_view kLogCancelled = u"VQGUI.REELKIT.LOG.FILECANCELLED";
inline constexpr std::u16string_view kLogDeleting = u"VQGUI.REELKIT.LOG.DELETE";
inline constexpr std::u16string_view kLogDeleted = u"VQGUI.REELKIT.LOG.FILEDELETED";
inline constexpr std::u16string_view kLogDeleteError = u"VQGUI.REELKIT.LOG.DELETEERROR";
inline constexpr std::u16string_view kLogFinished = u"VQGUI.REELKIT.LOG.FINISHED";
// Why a video got another name or was not written, what a failure left behind and why a source
// was kept; each takes a path as "$1" (the last but one none).
inline constexpr std::u16string_view kLogRenamed = u"VQGUI.REELKIT.LOG.RENAMED";
inline constexpr std::u16string_view kLogOutputTaken = u"VQGUI.REELKIT.LOG.OUTPUTTAKEN";
inline constexpr std::u16string_view kLogIncomplete = u"VQGUI.REELKIT.LOG.INCOMPLETE";
inline constexpr std::u16string_view kLogKeptChanged = u"VQGUI.REELKIT.LOG.KEPTCHANGED";
inline constexpr std::u16string_view kLogKeptNoVideo = u"VQGUI.REELKIT.LOG.KEPTNOVIDEO";
inline constexpr std::u16string_view kDestinationFolder = u"VQGUI.REELKIT.FINISH.DESTFOLDER";
inline constexpr std::u16string_view kShowDetails = u"VQGUI.REELKIT.FINISH.SHOWDETAILS";

// Why a conversion failed, one sentence each; kCauseSystem takes the system's message as "$1".
inline constexpr std::u16string_view kCauseInvalidInput = u"VQGUI.REELKIT.CAUSE.INVALIDINPUT";
inline constexpr std::u16string_view kCauseUnsupportedFormat =
    u"VQGUI.REELKIT.CAUSE.UNSUPPORTEDFORMAT";
inline constexpr std::u16string_view kCauseOpenFailed = u"VQGUI.REELKIT.CAUSE.OPENFAILED";
inline constexpr std::u16string_view kCauseReadFailed = u"VQGUI.REELKIT.CAUSE.READFAILED";
inline constexpr std::u16string_view kCauseEndOfFile = u"VQGUI.REELKIT.CAUSE.ENDOFFILE";
inline constexpr std::u16string_view kCauseWriteFailed = u"VQGUI.REELKIT.CAUSE.WRITEFAILED";
inline constexpr std::u16string_view kCauseOutputIsInput = u"VQGUI.REELKIT.CAUSE.OUTPUTISINPUT";
inline constexpr std::u16string_view kCauseSystem = u"VQGUI.REELKIT.CAUSE.SYSTEM";
inline constexpr std::u16string_view kCauseUnexpected = u"VQGUI.REELKIT.CAUSE.UNEXPECTED";
inline constexpr std::u16string_view kCauseOutOfMemory = u"VQGUI.REELKIT.CAUSE.OUTOFMEMORY";
inline constexpr std::u16string_view kCauseMsvcTooLarge = u"VQGUI.REELKIT.CAUSE.MSVCTOOLARGE";
inline constexpr std::u16string_view kCauseNoPicture = u"VQGUI.REELKIT.CAUSE.NOPICTURE";

// An input past one of the program's limits: "%u" counts, "%S" byte sizes (kSize... below).
inline constexpr std::u16string_view kCauseFormatBlockSize =
    u"VQGUI.REELKIT.CAUSE.LIMIT.FORMATBLOCK";
inline constexpr std::u16string_view kCausePictureSide = u"VQGUI.REELKIT.CAUSE.LIMIT.PICTURESIDE";
inline constexpr std::u16string_view kCausePictureBytes = u"VQGUI.REELKIT.CAUSE.LIMIT.PICTUREBYTES";
inline constexpr std::u16string_view kCauseDecodedPixels =
    u"VQGUI.REELKIT.CAUSE.LIMIT.DECODEDPIXELS";
inline constexpr std::u16string_view kCauseDecodedDepth = u"VQGUI.REELKIT.CAUSE.LIMIT.DECODEDDEPTH";
inline constexpr std::u16string_view kCauseRecordBlockSize =
    u"VQGUI.REELKIT.CAUSE.LIMIT.RECORDBLOCK";
inline constexpr std::u16string_view kCauseChunkSize = u"VQGUI.REELKIT.CAUSE.LIMIT.CHUNK";
inline constexpr std::u16string_view kCauseBundleSize = u"VQGUI.REELKIT.CAUSE.LIMIT.BUNDLE";
inline constexpr std::u16string_view kCauseVideoLength = u"VQGUI.REELKIT.CAUSE.LIMIT.VIDEOLENGTH";
inline constexpr std::u16string_view kCauseTimestamp = u"VQGUI.REELKIT.CAUSE.LIMIT.TIMESTAMP";
inline constexpr std::u16string_view kSizeBytes = u"VQGUI.REELKIT.CAUSE.SIZE.BYTES";
inline constexpr std::u16string_view kSizeMebibytes = u"VQGUI.REELKIT.CAUSE.SIZE.MIB";
inline constexpr std::u16string_view kSizeGibibytes = u"VQGUI.REELKIT.CAUSE.SIZE.GIB";

// An output path refused before anything was written; kCauseOutputNotAFile takes a kFileType...
// text as "%S".
inline constexpr std::u16string_view kCauseOutputChanging = u"VQGUI.REELKIT.CAUSE.OUTPUT.CHANGING";
inline constexpr std::u16string_view kCauseOutputCannotCreate =
    u"VQGUI.REELKIT.CAUSE.OUTPUT.CANNOTCREATE";
inline constexpr std::u16string_view kCauseOutputCannotOpen =
    u"VQGUI.REELKIT.CAUSE.OUTPUT.CANNOTOPEN";
inline constexpr std::u16string_view kCauseOutputLinkToNothing =
    u"VQGUI.REELKIT.CAUSE.OUTPUT.LINKTONOTHING";
inline constexpr std::u16string_view kCauseOutputNotAFile = u"VQGUI.REELKIT.CAUSE.OUTPUT.NOTAFILE";
inline constexpr std::u16string_view kCauseOutputCannotWrite =
    u"VQGUI.REELKIT.CAUSE.OUTPUT.CANNOTWRITE";
inline constexpr std::u16string_view kCauseOutputBeingWritten =
    u"VQGUI.REELKIT.CAUSE.OUTPUT.BEINGWRITTEN";
inline constexpr std::u16string_view kCauseOutputCannotLock =
    u"VQGUI.REELKIT.CAUSE.OUTPUT.CANNOTLOCK";
inline constexpr std::u16string_view kCauseOutputCannotResolve =
    u"VQGUI.REELKIT.CAUSE.OUTPUT.CANNOTRESOLVE";
inline constexpr std::u16string_view kFileTypeDirectory = u"VQGUI.REELKIT.CAUSE.FILETYPE.DIRECTORY";
inline constexpr std::u16string_view kFileTypeCharacterDevice =
    u"VQGUI.REELKIT.CAUSE.FILETYPE.CHARDEVICE";
inline constexpr std::u16string_view kFileTypeBlockDevice =
    u"VQGUI.REELKIT.CAUSE.FILETYPE.BLOCKDEVICE";
inline constexpr std::u16string_view kFileTypeNamedPipe = u"VQGUI.REELKIT.CAUSE.FILETYPE.NAMEDPIPE";
inline constexpr std::u16string_view kFileTypeSocket = u"VQGUI.REELKIT.CAUSE.FILETYPE.SOCKET";
inline constexpr std::u16string_view kFileTypeOther = u"VQGUI.REELKIT.CAUSE.FILETYPE.OTHER";

// Every key the wizard looks up.
inline constexpr std::array kWizardKeys = {kCancelQuestion,
                                           kConversionErrors,
                                           kConversionSuccess,
                                           kAddFile,
                                           kNotRecordings,
                                           kWelcomeTitle,
                                           kWelcomeLegal,
                                           kWelcomeText,
                                           kWelcomeNext,
                                           kSelectFiles,
                                           kAdd,
                                           kRemove,
                                           kAddHelp,
                                           kRemoveHelp,
                                           kDeleteSources,
                                           kDestinationIntro,
                                           kDestinationLabel,
                                           kFormatLabel,
                                           kFormatH264,
                                           kBrowse,
                                           kAskOverwrite,
                                           kNoDestination,
                                           kInvalidDestination,
                                           kReviewIntro,
                                           kReviewSummary,
                                           kReviewSavedIn,
                                           kReviewDeleting,
                                           kReviewNotDeleting,
                                           kReviewSharedName,
                                           kReviewReplacesSource,
                                           kCurrentFile,
                                           kConvertingFiles,
                                           kFileExists,
                                           kInvalidFormat,
                                           kErrorOpen,
                                           kErrorRead,
                                           kErrorSave,
                                           kJobFinished,
                                           kLogCancelled,
                                           kLogDeleting,
                                           kLogDeleted,
                                           kLogDeleteError,
                                           kLogFinished,
                                           kLogRenamed,
                                           kLogOutputTaken,
                                           kLogIncomplete,
                                           kLogKeptChanged,
                                           kLogKeptNoVideo,
                                           kDestinationFolder,
                                           kShowDetails,
                                           kCauseInvalidInput,
                                           kCauseUnsupportedFormat,
                                           kCauseOpenFailed,
                                           kCauseReadFailed,
                                           kCauseEndOfFile,
                                           kCauseWriteFailed,
                                           kCauseOutputIsInput,
                                           kCauseSystem,
                                           kCauseUnexpected,
                                           kCauseOutOfMemory,
                                           kCauseMsvcTooLarge,
                                           kCauseNoPicture,
                                           kCauseFormatBlockSize,
                                           kCausePictureSide,
                                           kCausePictureBytes,
                                           kCauseDecodedPixels,
                                           kCauseDecodedDepth,
                                           kCauseRecordBlockSize,
                                           kCauseChunkSize,
                                           kCauseBundleSize,
                                           kCauseVideoLength,
                                           kCauseTimestamp,
                                           kSizeBytes,
                                           kSizeMebibytes,
                                           kSizeGibibytes,
                                           kCauseOutputChanging,
                                           kCauseOutputCannotCreate,
                                           kCauseOutputCannotOpen,
                                           kCauseOutputLinkToNothing,
                                           kCauseOutputNotAFile,
                                           kCauseOutputCannotWrite,
                                           kCauseOutputBeingWritten,
                                           kCauseOutputCannotLock,
                                           kCauseOutputCannotResolve,
                                           kFileTypeDirectory,
                                           kFileTypeCharacterDevice,
                                           kFileTypeBlockDevice,
                                           kFileTypeNamedPipe,
                                           kFileTypeSocket,
                                           kFileTypeOther};

}  // namespace reelkit::catalog_keys
