#include "encode/TestEncode.h"

#include "process/CommandLineBuilder.h"

namespace vexlo::encode {

std::string TestEncodeMjpeg(std::string_view programDir, std::string_view src, std::string_view dst,
                            bool useReport) {
  process::CommandLineBuilder line(programDir);
  line.Add(" -an");
  if (useReport) line.Add(" -report");
  line.Add(" -y -i ").AddQuoted(src);
  line.Add(" -vcodec mjpeg -q:v 0.5 ").AddQuoted(dst);
  return line.Text();
}

}  // namespace vexlo::encode
