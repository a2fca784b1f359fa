#include "description.h"

#include <cstdio>
#include <string_view>

#include "registers.h"
#include "sha1.h"
#include "zip.h"

namespace grabkit::sim {

// Generated from xml/SimCam.xml.in by cmake/SimDescriptions.cmake.
extern const unsigned char kSimCamXml[];
extern const size_t kSimCamXmlSize;
extern const unsigned char kSimCam3DXml[];
extern const size_t kSimCam3DXmlSize;

namespace {

DescriptionFile makeFile(std::string fileName, std::string bytes) {
  DescriptionFile file;
  file.fileName = std::move(fileName);
  file.bytes = std::move(bytes);
  file.address = reg::kDescriptionFile;
  file.sha1 = sha1(file.bytes.data(), file.bytes.size());
  return file;
}

std::string_view embedded(const unsigned char* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace

std::string DescriptionFile::url() const {
  char location[64];
  std::snprintf(location, sizeof location, ";%llX;%zX?SchemaVersion=%d.%d.0",
                static_cast<unsigned long long>(address), bytes.size(), kSchemaVersionMajor,
                kSchemaVersionMinor);
  return "Local:" + fileName + location;
}

const DescriptionFile& cameraDescription() {
  static const DescriptionFile file =
      makeFile("GrabkitSimCam.xml", std::string(embedded(kSimCamXml, kSimCamXmlSize)));
  return file;
}

const DescriptionFile& camera3dDescription() {
  // Zipped, as cameras with large descriptions do; consumers must handle both forms.
  static const DescriptionFile file =
      makeFile("GrabkitSimCam3D.zip",
               storedZip("GrabkitSimCam3D.xml", embedded(kSimCam3DXml, kSimCam3DXmlSize)));
  return file;
}

}  // namespace grabkit::sim
