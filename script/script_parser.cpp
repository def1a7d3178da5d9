// The script language's section: until its parser exists, the block is read past and dropped,
// so the configuration around it still reads.
#include "script/config.h"
#include "script/text_reader.h"
#include "shader/shader_text.h"

void script_parse_block(TextReader *reader)
{
    char line[512] = "";
    text_reader_gets(reader, line, sizeof line);
    while (!text_reader_at_end(reader) && !config_str_contains(line, "{")) text_reader_gets(reader, line, sizeof line);
    while (!text_reader_at_end(reader) && !config_str_contains(line, "}")) text_reader_gets(reader, line, sizeof line);
}
