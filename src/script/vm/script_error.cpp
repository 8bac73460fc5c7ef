#include "script/vm/script_error.h"

#include <map>

#include "companion/gbk.h"

namespace kelo {

namespace {

struct MessageTable {
    std::map<int32_t, std::string> gbk;
    MessageTable() {
        static const struct {
            int32_t code;
            const char* utf8;
        } kMessages[] = {
        {1000, "非法的文件名"},
        {1001, "文件名不存在"},
        {1100, "字符串常量语法分析错误--没有找到相应的‘\"’符号"},
        {1101, "注释语法分析错误--没有找到相应的'*/'符号"},
        {1102, "无法识别的字符"},
        {1103, "8进制数语法分析错误"},
        {1104, "16进制数语法分析错误"},
        {1105, "浮点数语法分析错误"},
        {1106, "非法的#"},
        {1107, "非法的define类语句，找不到define后的字符串"},
        {1108, "define类语句应独占一行或非法的include"},
        {1109, "无法找到#else对应的#if"},
        {1110, "无法找到#endif对应的#if"},
        {1111, "结尾还有未处理的#if"},
        {1112, "代码过长，可能由于include的无限循环导致"},
        {1113, "非法的include格式，找不到对应的<>或者\""},
        {1114, "undef语句错误，undef的对象以前没有定义过"},
        {1115, "宏展开错误，参数个数不正确"},
        {1116, "define语句长度过长，可能由于define无限循环导致"},
        {1117, "define语句中不能定义#符号"},
        {1118, "define语句错误，对象重复定义"},
        {1200, "括号匹配错误--无法匹配的括号"},
        {1201, "括号匹配错误--结尾缺少}"},
        {1202, "括号匹配错误--结尾缺少)或者]"},
        {1300, "函数定义错误--找不到正确的函数返回类型"},
        {1301, "函数定义错误--找不到函数名"},
        {1302, "函数定义错误--函数名与系统函数名冲突"},
        {1303, "函数定义错误--函数名与前面定义的函数名冲突"},
        {1304, "函数定义错误--函数参数定义错误，找不到匹配的(和)"},
        {1305, "函数定义错误--函数参数定义错误，找不到参数名"},
        {1306, "函数定义错误--函数参数定义错误，找不正确的参数类型"},
        {1307, "函数定义错误--main函数必须是无参数函数或 array args"},
        {1308, "函数定义错误--函数不能嵌套定义"},
        {1311, "return语句错误--函数的返回类型应为void，return后不应有参数"},
        {1313, "return语句错误--函数的返回类型不为void，return后应有参数"},
        {1320, "break语句错误--break命令后不应有参数"},
        {1321, "break语句错误--仍有无法处理的break语句"},
        {1330, "continue语句错误--continue命令后不应有参数"},
        {1331, "continue语句错误--仍有无法处理的continue语句"},
        {1340, "变量定义错误--无法识别的数据类型"},
        {1341, "变量定义错误--找不到变量名"},
        {1342, "变量定义错误--变量名与保留字冲突"},
        {1343, "变量定义错误--变量名重复定义"},
        {1344, "变量定义错误--变量名间需用,分隔"},
        {1350, "for语句错误--for结构后缺少语句"},
        {1351, "for语句错误--找不到相应的("},
        {1353, "for语句错误--找不到相应的}"},
        {1355, "switch语句结果不全"},
        {1356, "case语句错误"},
        {1357, "default语句错误"},
        {1360, "if语句错误--if后缺少语句"},
        {1361, "if语句错误--找不到相应的("},
        {1362, "if语句错误--(内部错误)找不到相应的}"},
        {1363, "else语句错误--找不到相应的if语句"},
        {1364, "else语句错误--(内部错误)找不到相应的}"},
        {1370, "while语句错误--while后缺少语句"},
        {1371, "while语句错误--找不到相应的("},
        {1372, "while语句错误--(内部错误)找不到相应的}"},
        {1381, "编译错误：(函数或变量类型错误?)语句分析失败"},
        {1382, "编译错误：找不到函数运行起点"},
        {1383, "编译错误：main函数不能预声明"},
        {1390, "找不到运行起点，没有找到main函数"},
        {1410, "赋值语句为空"},
        {1411, "函数调用时参数个数错误"},
        {1414, "? : 分析错误"},
        {1420, "无法分析的表达式"},
        {10000, "内部错误: 非法CS值"},
        {10001, "内部错误: 无法识别的语句"},
        {10100, "程序运行空间溢出"},
        {10101, "栈溢出"},
        {10102, "堆溢出"},
        {10200, "赋值类型不符"},
        {10201, "判断条件语句取值失败"},
        {10202, "常量赋值类型不符"},
        {10300, "函数调用错误(类型不符)"},
        {10301, "找不到相应的成员函数"},
        {10302, "[]操作错误，[]只适用于array，string和map类型"},
        {10303, "函数调用错误，参数个数不符"},
        {10304, "函数调用错误，参数类型不符"},
        {10305, "除数为0"},
        {10306, "Kelo函数调用错误"},
        {10307, "chr()函数参数应在[0-255]之间"},
        {10308, "数组下标越界"},
        {10309, "赋值语句类型不符"},
        {10310, "字符串下标越界"},
        {10311, "动态调用函数名为非字符串"},
        {10312, "动态调用函数名找不到"},
        {10313, "动态调用函数参数个数不正确"},
        };
        for (const auto& m : kMessages) gbk.emplace(m.code, ToGbk(m.utf8));
    }
};

const MessageTable& Messages() {
    static const MessageTable table;
    return table;
}

}  // namespace

const std::string& GetScriptErrorMessage(int32_t code) {
    static const std::string kNone;
    const auto& t = Messages().gbk;
    auto it = t.find(code);
    return it == t.end() ? kNone : it->second;
}

std::string FormatScriptError(int32_t code, const ScriptSourceTable& lines, int32_t lineIndex, int32_t column,
                              const std::string& mainFile) {
    std::string text = KELO_GBK("错误");
    text += std::to_string(code);
    text += ' ';
    text += GetScriptErrorMessage(code);
    if (lineIndex >= 0 && static_cast<size_t>(lineIndex) < lines.size()) {
        const ScriptSourceLine& src = lines[static_cast<size_t>(lineIndex)];
        text += "\n   at line: ";
        text += std::to_string(src.line);
        if (column > 0) {
            text += "   at column: ";
            text += std::to_string(column);
        }
        if (src.file != mainFile) {
            text += "   in file: ";
            text += src.file;
        }
    }
    return text;
}

void ThrowScriptError(int32_t code, const ScriptSourceTable& lines, int32_t lineIndex, int32_t column,
                      const std::string& mainFile) {
    throw ScriptError{code, FormatScriptError(code, lines, lineIndex, column, mainFile)};
}

}  // namespace kelo
