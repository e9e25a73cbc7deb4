#include "zip/ZipErrors.h"

#include <array>
#include <cerrno>

namespace kuv::zip {

namespace {

const std::array<ZipMessageRow, 30>& Table() {
    static const std::array<ZipMessageRow, 30> rows = {{
        {ZipMessage::ZlibMissing, kErrZlibMissing, "La librairie Zlib n'est pas installée"},
        {ZipMessage::ArchiveInaccessible, kErrNotArchive, "Le fichier %1 n'est pas accessible ou a été déplacé !"},
        {ZipMessage::ArchiveMissing, kErrFileMissing, "Le fichier %1 n'existe pas"},
        {ZipMessage::FileMissingZip, kErrFileMissing, "Ce fichier n'existe pas (n° erreur zip)"},
        {ZipMessage::FileMissing, kErrFileMissing, "Ce fichier n'existe pas"},
        {ZipMessage::NotAnArchive, kErrNotArchive, "Le fichier %1 n'est pas un fichier Zip"},
        {ZipMessage::NotAnArchiveOrSv, kErrNotArchive, "Le fichier n'est pas un fichier au format Zip ou Sv"},
        {ZipMessage::NoArchiveOpen, kErrNoArchiveOpen, "Il n'y a pas de fichier Zip ouvert"},
        {ZipMessage::UnsupportedMethod, kErrUnsupportedMethod, "La méthode de compression pour %1 n'est pas supportée"},
        {ZipMessage::UnsupportedFeature, kErrUnsupportedFeature,
         "Le fichier %1 utilise une fonction Zip non prise en charge"},
        {ZipMessage::CrcMismatch, kErrCrcMismatch, "Erreur de checksum (CRC) dans %1"},
        {ZipMessage::CorruptHeader, kErrCorruptHeader, "Structure corrompue dans le fichier %1"},
        {ZipMessage::Unidentified, kErrUnidentified, "Erreur non identifiée lors de la décompression du fichier %1"},
        {ZipMessage::NameRefused, kErrNameRefused, "Nom de fichier refusé, il sortirait du dossier de destination : %1"},
        {ZipMessage::CannotCreateFolder, kErrCannotCreateFolder, "Impossible de créer le répertoire %1"},
        {ZipMessage::TargetExists, kErrTargetExists, "Le fichier %1 existe déjà"},
        {ZipMessage::CannotDelete, kErrCannotDelete, "Ne peut pas supprimer le fichier %1"},
        {ZipMessage::NoProgram, kErrNoProgram,
         "Il n'y a pas d'exécutable attaché à ce type de fichier dans le système d'exploitation !"},
        {ZipMessage::Sharing, kErrSharing, "Violation de Partage, le fichier a été exclus du traitement"},
        {ZipMessage::StoredUncompressed, kErrStoredUncompressed,
         "Fichier trop important pour être compressé, le fichier a été empacté dans le fichier final mais sans "
         "compression !"},
        // Raised with the number of the failure (a system error's, 17 for the library...).
        {ZipMessage::Untested, kErrPathAccess, "Erreur non testée, le fichier a été exclus du traitement"},
        {ZipMessage::BackslashInName, kErrBackslashInName,
         "Nom de fichier avec une barre oblique inverse, le fichier a été exclus du traitement"},
        {ZipMessage::NameTooLong, kErrNameTooLong,
         "Nom de fichier trop long pour être restauré, le fichier a été exclu du traitement"},
        {ZipMessage::ArchiveExists, kErrTargetExists,
         "Création -No Overwrite- du Zip abandonnée car le fichier existe déjà"},
        {ZipMessage::DuplicateName, kErrTargetExists,
         "Nom en double dans l'archive, le fichier a été exclu du traitement"},
        {ZipMessage::SourceGone, kErrUnidentified, "Le fichier %1 n'est pas ou plus accessible !"},
        {ZipMessage::SourceUnknownError, kErrUnidentified, "Erreur inconnue sur le fichier %1"},
        {ZipMessage::UpdateImpossible, kErrUnidentified, "Mise à jour du Zip impossible : %1"},
        {ZipMessage::DiskFull, kErrDiskFull, "Disque plein : le fichier %1 n'a pas pu être écrit"},
        {ZipMessage::ArchiveReadError, kErrDeviceIo,
         "Erreur de lecture du support : le fichier %1 n'a pas pu être lu"},
    }};
    return rows;
}

}  // namespace

bool IsDiskFullError(int error) { return error == ENOSPC || error == EDQUOT; }

const ZipMessageRow& MessageRow(ZipMessage id) {
    for (const ZipMessageRow& row : Table())
        if (row.id == id) return row;
    return Table()[static_cast<std::size_t>(ZipMessage::Untested)];
}

std::string MessageText(ZipMessage id, const std::string& arg) {
    std::string text = MessageRow(id).text;
    const std::size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, arg);
    return text;
}

}  // namespace kuv::zip
