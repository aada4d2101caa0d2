<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>pellion::CAboutDlg</name>
    <message>
        <source>关于 Pellion</source>
        <translation>About Pellion</translation>
    </message>
    <message>
        <source>Pellion，1.0 版</source>
        <translation>Pellion, version 1.0</translation>
    </message>
    <message>
        <source>多路串口并行烧录工具</source>
        <translation>Programs many chips at once over serial ports</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>pellion::CPellionDlg</name>
    <message>
        <source>关于 Pellion(&amp;A)...</source>
        <translation>&amp;About Pellion...</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>打开</source>
        <translation>Open</translation>
    </message>
    <message>
        <source>下载APP</source>
        <translation>Application</translation>
    </message>
    <message>
        <source>下载选项字节文件</source>
        <translation>Option bytes</translation>
    </message>
    <message>
        <source>下载其他</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>刷新列表</source>
        <translation>Refresh list</translation>
    </message>
    <message>
        <source>下载后设置读保护</source>
        <translation>Protect after download</translation>
    </message>
    <message>
        <source>下载后校验</source>
        <translation>Verify after download</translation>
    </message>
    <message>
        <source>下载间隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>下载地址0x</source>
        <translation>Address 0x</translation>
    </message>
    <message>
        <source>下载文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>用时：</source>
        <translation>Time:</translation>
    </message>
</context>
<context>
    <name>pellion::PortRows</name>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>串口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Baud</translation>
    </message>
    <message>
        <source>初始化</source>
        <translation>Init</translation>
    </message>
    <message>
        <source>可读？</source>
        <translation>Read?</translation>
    </message>
    <message>
        <source>设备型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>完成状态</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>备注</source>
        <translation>Remark</translation>
    </message>
</context>
<context>
    <name>pellion::UpdateQuestion</name>
    <message>
        <source>软件有可用更新!<byte value="xd"/>是否下载最新版本?</source>
        <translation>An update is available.<byte value="xd"/>Download the latest version?</translation>
    </message>
</context>
<context>
    <name>pellion::WindowTexts</name>
    <message>
        <source>下载尚未完成,是否停止下载?</source>
        <translation>The download is not finished. Stop it?</translation>
    </message>
    <message>
        <source>请勾选要下载的串口!</source>
        <translation>Tick the ports to program first.</translation>
    </message>
    <message>
        <source>配置文件中的写入块大小%1无效,应为4的倍数且不大于256,请修改后重试!</source>
        <translation>The settings file's write block size %1 is not valid: it must be a multiple of 4, at most 256. Correct it and try again.</translation>
    </message>
    <message>
        <source>%1芯片已识别为%2,不能选择其他型号!</source>
        <translation>The chip on %1 identified itself as %2; no other model can be chosen.</translation>
    </message>
    <message>
        <source>文件名含有换行符,不能使用!</source>
        <translation>The file name contains a line break and cannot be used.</translation>
    </message>
    <message>
        <source>下载间隔不能大于%1ms,已改为%1ms!</source>
        <translation>The interval cannot exceed %1 ms; it was set to %1 ms.</translation>
    </message>
    <message>
        <source>成功：%1  失败：%2  进行中：%3</source>
        <translation>Succeeded: %1  Failed: %2  Running: %3</translation>
    </message>
    <message>
        <source>设备：%1</source>
        <translation>Device: %1</translation>
    </message>
    <message>
        <source>固定路径：%1</source>
        <translation>Stable path: %1</translation>
    </message>
    <message>
        <source>适配器：%1</source>
        <translation>Adapter: %1</translation>
    </message>
    <message>
        <source>序列号：%1</source>
        <translation>Serial number: %1</translation>
    </message>
    <message>
        <source>USB位置：%1</source>
        <translation>USB place: %1</translation>
    </message>
    <message>
        <source>设置工位标签(&amp;L)...</source>
        <translation>Set station &amp;label...</translation>
    </message>
    <message>
        <source>工位标签</source>
        <translation>Station label</translation>
    </message>
    <message>
        <source>%1的工位标签(留空则显示序号)：</source>
        <translation>Station label of %1 (empty shows the row number):</translation>
    </message>
    <message>
        <source>连续烧录</source>
        <translation>Nonstop</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>成功：%1  失败：%2  良率：%3%</source>
        <translation>Succeeded: %1  Failed: %2  Yield: %3%</translation>
    </message>
    <message>
        <source>本工位成功：%1  失败：%2</source>
        <translation>This socket: %1 succeeded, %2 failed</translation>
    </message>
    <message>
        <source>清零(&amp;Z)</source>
        <translation>Reset &amp;counters</translation>
    </message>
    <message>
        <source>重试(&amp;R)</source>
        <translation>&amp;Retry</translation>
    </message>
    <message>
        <source>设置启动方式(&amp;B)...</source>
        <translation>&amp;Boot entry and exit...</translation>
    </message>
    <message>
        <source>启动方式</source>
        <translation>Boot entry and exit</translation>
    </message>
    <message>
        <source>进入下载模式：</source>
        <translation>Enter the bootloader: </translation>
    </message>
    <message>
        <source>下载完成后：</source>
        <translation>After programming: </translation>
    </message>
    <message>
        <source>none：不控制DTR/RTS(芯片已处于下载模式)；go：用跳转命令运行程序；
dtr-reset：DTR接复位,RTS接BOOT0；rts-reset：RTS接复位,DTR接BOOT0；
自定义：D0/D1、R0/R1设置DTR/RTS,B00..B11同时设置两者,W毫秒数等待,步骤之间用|分隔,例如R1|D1|W20|D0|W50</source>
        <translation>none: DTR/RTS untouched (the chip waits in its bootloader); go: the Go command starts the program;
dtr-reset: DTR drives RESET, RTS drives BOOT0; rts-reset: RTS drives RESET, DTR drives BOOT0;
custom: D0/D1, R0/R1 set DTR/RTS, B00..B11 both at once, W&lt;ms&gt; waits, steps separated by |, e.g. R1|D1|W20|D0|W50</translation>
    </message>
    <message>
        <source>跟随系统</source>
        <translation>As the system</translation>
    </message>
    <message>
        <source>语言 Language(&amp;G)...</source>
        <translation>语言 Language(&amp;G)...</translation>
    </message>
    <message>
        <source>语言 Language</source>
        <translation>语言 Language</translation>
    </message>
    <message>
        <source>界面语言：</source>
        <translation>Window language:</translation>
    </message>
    <message>
        <source>界面语言将在下次启动时更改。</source>
        <translation>The window&apos;s language changes at the next start.</translation>
    </message>
</context>
</TS>
