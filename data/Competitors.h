#pragma once
// A list's competitors: sites (domains or parts of URLs, matched like a target) kept one per line
// in "<data file name without extension>.competitors.txt" beside the data file, so that they
// move with it. "#" starts a comment; blank lines are ignored.

#include <QString>

#include <string>
#include <vector>

class QByteArray;

namespace datafile {

// "clients/acme.dat" -> "clients/acme.competitors.txt".
QString CompetitorsPath(const QString& dataFilePath);

// The sites of a competitors file's text, in order, each once. A site with a blank inside is
// refused: false, with the line named in error.
bool ParseCompetitors(const QByteArray& text, std::vector<std::string>* sites, QString* error);

// Reads the file at path; no file is no competitors (true, empty).
bool ReadCompetitors(const QString& path, std::vector<std::string>* sites, QString* error);

// Writes sites one per line, replacing the file only once it is complete. An empty list removes
// the file.
bool WriteCompetitors(const QString& path, const std::vector<std::string>& sites, QString* error);

} // namespace datafile
