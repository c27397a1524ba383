#include "reduction/RecordLoop.h"

#include "common/Error.h"

namespace vireo {

FieldFormat RunRecordLoop(InputStream& in, const std::string& path, RecordListener& listener,
                          Warnings& warnings) {
  FieldRecordReader reader(warnings);
  SetupBuffer buffer;
  bool inLine = false;
  ReadFieldRecords(in, path, reader, [&](FieldRecord& record) {
    if (record.lineStart) {
      listener.LineStart(record.line, false);
      inLine = true;
    }
    if (record.height) listener.Height(record);
    if (!record.reading) return;
    if (!inLine) {
      // A file that starts with readings is reduced as though a line start
      // record preceded them.
      warnings.push_back(
          {record.line, "no line start record before the first reading; one is assumed"});
      listener.LineStart(record.line, true);
      inLine = true;
    }
    listener.ReadingSeen(*record.reading);
    if (buffer.Add(*record.reading, warnings)) {
      const SetupPairing pairing = PairReadings(buffer.Slots());
      listener.Setup(buffer.Slots(), pairing);
      WarnAboutPairing(buffer.Slots(), pairing, warnings);
      buffer.Clear();
    }
  });
  buffer.Finish(warnings);
  if (!reader.SawReading() && !reader.SawLineStart())
    throw Error(path, "read the field data file",
                "nothing in it is a record of a field data file (DiNi M5 or Leica GSI); "
                "choose the file the level wrote");
  if (!reader.SawReading()) warnings.push_back({0, "the file holds no reading"});
  return reader.Format();
}

}  // namespace vireo
