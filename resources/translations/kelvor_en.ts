<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<!-- The window in English: every caption, menu, box and page label the station shows, by its Chinese text. Log lines are not here: they stay as the station writes them. -->
<context>
    <name>kelvor</name>
    <message>
        <source>%1 条记录  %2</source>
        <translation>%1 records  %2</translation>
    </message>
    <message>
        <source>16M时钟错误:</source>
        <translation>16 MHz clock errors:</translation>
    </message>
    <message>
        <source>16M时钟错误:%1个</source>
        <translation>16 MHz clock errors: %1</translation>
    </message>
    <message>
        <source>4.5v电压</source>
        <translation>4.5 V voltage</translation>
    </message>
    <message>
        <source>BGR错误:</source>
        <translation>BGR errors:</translation>
    </message>
    <message>
        <source>BGR错误:%1个</source>
        <translation>BGR errors: %1</translation>
    </message>
    <message>
        <source>Clock频率</source>
        <translation>Clock frequency</translation>
    </message>
    <message>
        <source>EEPROM烧录</source>
        <translation>Program EEPROM</translation>
    </message>
    <message>
        <source>EE电压写入</source>
        <translation>Write EE voltage</translation>
    </message>
    <message>
        <source>ID错误:</source>
        <translation>ID errors:</translation>
    </message>
    <message>
        <source>ID错误:%1个</source>
        <translation>ID errors: %1</translation>
    </message>
    <message>
        <source>KEL-VOR(V1.34) - 模拟烧录器(非真实烧录)</source>
        <translation>KEL-VOR(V1.34) - simulated programmer (no real burn)</translation>
    </message>
    <message>
        <source>NG 次数</source>
        <translation>NG count</translation>
    </message>
    <message>
        <source>OCP调节</source>
        <translation>OCP level</translation>
    </message>
    <message>
        <source>OP错误:</source>
        <translation>OP errors:</translation>
    </message>
    <message>
        <source>OP错误:%1个</source>
        <translation>OP errors: %1</translation>
    </message>
    <message>
        <source>OSC delta% 随时间</source>
        <translation>OSC delta% over time</translation>
    </message>
    <message>
        <source>OSC delta% 随时间 (%1)</source>
        <translation>OSC delta% over time (%1)</translation>
    </message>
    <message>
        <source>PDO数据长度与HEX地址0x3fe0可用长度不匹配!</source>
        <translation>The PDO data length does not fit the space at HEX address 0x3fe0!</translation>
    </message>
    <message>
        <source>QC设置</source>
        <translation>QC settings</translation>
    </message>
    <message>
        <source>QC首测</source>
        <translation>QC test</translation>
    </message>
    <message>
        <source>SRAM错误:</source>
        <translation>SRAM errors:</translation>
    </message>
    <message>
        <source>SRAM错误:%1个</source>
        <translation>SRAM errors: %1</translation>
    </message>
    <message>
        <source>上一个</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>下一个</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>不休眠</source>
        <translation>No sleep</translation>
    </message>
    <message>
        <source>不线补</source>
        <translation>None</translation>
    </message>
    <message>
        <source>主区校验错误:</source>
        <translation>Main area verify errors:</translation>
    </message>
    <message>
        <source>主区校验错误:%1个</source>
        <translation>Main area verify errors: %1</translation>
    </message>
    <message>
        <source>主区编程错误:</source>
        <translation>Main area program errors:</translation>
    </message>
    <message>
        <source>主区编程错误:%1个</source>
        <translation>Main area program errors: %1</translation>
    </message>
    <message>
        <source>低速1M时钟错误:</source>
        <translation>Low-speed 1 MHz clock errors:</translation>
    </message>
    <message>
        <source>低速1M时钟错误:%1个</source>
        <translation>Low-speed 1 MHz clock errors: %1</translation>
    </message>
    <message>
        <source>全部型号</source>
        <translation>All models</translation>
    </message>
    <message>
        <source>全部时间</source>
        <translation>All time</translation>
    </message>
    <message>
        <source>全部结果</source>
        <translation>All results</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Off</translation>
    </message>
    <message>
        <source>准信息</source>
        <translation>calibration</translation>
    </message>
    <message>
        <source>出厂信息</source>
        <translation>Factory data</translation>
    </message>
    <message>
        <source>出厂配置</source>
        <translation>Factory</translation>
    </message>
    <message>
        <source>功率选择/A口拔出时间调节</source>
        <translation>Power / port A unplug time</translation>
    </message>
    <message>
        <source>厂商烧录器库</source>
        <translation>vendor programmer library</translation>
    </message>
    <message>
        <source>取值范围应在0~65535</source>
        <translation>The value must be 0–65535</translation>
    </message>
    <message>
        <source>只能输入4位校验码</source>
        <translation>Only a 4-digit checksum</translation>
    </message>
    <message>
        <source>启动固件更新</source>
        <translation>Start firmware update</translation>
    </message>
    <message>
        <source>启用声音提示</source>
        <translation>Sound prompts</translation>
    </message>
    <message>
        <source>固件更新</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>固件版本号</source>
        <translation>Firmware version</translation>
    </message>
    <message>
        <source>固件版本号错误!</source>
        <translation>Wrong firmware version!</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>型号:</source>
        <translation>Model:</translation>
    </message>
    <message>
        <source>增量(4Byte)</source>
        <translation>Increment (4 bytes)</translation>
    </message>
    <message>
        <source>复位</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>失败阶段</source>
        <translation>Failed stage</translation>
    </message>
    <message>
        <source>失败阶段排行</source>
        <translation>Failures by stage</translation>
    </message>
    <message>
        <source>将会更新固件,是否继续</source>
        <translation>The firmware will be updated. Continue?</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>帮助 - KEL-VOR</source>
        <translation>Help - KEL-VOR</translation>
    </message>
    <message>
        <source>帮助文档缺失: </source>
        <translation>Help document missing: </translation>
    </message>
    <message>
        <source>手动更新烧录固件</source>
        <translation>Update programmer firmware</translation>
    </message>
    <message>
        <source>打印开关</source>
        <translation>Print switch</translation>
    </message>
    <message>
        <source>批号(4Byte)</source>
        <translation>Batch (4 bytes)</translation>
    </message>
    <message>
        <source>拔出烧录器</source>
        <translation>Unplug the programmer</translation>
    </message>
    <message>
        <source>换一颗空白芯片</source>
        <translation>Insert a blank chip</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>提示!</source>
        <translation>Note!</translation>
    </message>
    <message>
        <source>插入烧录器</source>
        <translation>Plug in the programmer</translation>
    </message>
    <message>
        <source>插座芯片</source>
        <translation>Socket chip</translation>
    </message>
    <message>
        <source>擦除配置</source>
        <translation>Erase settings</translation>
    </message>
    <message>
        <source>故障</source>
        <translation>Faults</translation>
    </message>
    <message>
        <source>文件不存在,请重新选择!</source>
        <translation>The file does not exist. Please choose again!</translation>
    </message>
    <message>
        <source>无法读取 %1: %2</source>
        <translation>Cannot read %1: %2</translation>
    </message>
    <message>
        <source>无烧录器</source>
        <translation>no programmer</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>日期错误!</source>
        <translation>Wrong date!</translation>
    </message>
    <message>
        <source>时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>时间:</source>
        <translation>Time:</translation>
    </message>
    <message>
        <source>最近1小时</source>
        <translation>Last hour</translation>
    </message>
    <message>
        <source>最近24小时</source>
        <translation>Last 24 hours</translation>
    </message>
    <message>
        <source>最近7天</source>
        <translation>Last 7 days</translation>
    </message>
    <message>
        <source>最近8小时</source>
        <translation>Last 8 hours</translation>
    </message>
    <message>
        <source>未检测到芯片，请确保连线无误!</source>
        <translation>No chip detected. Make sure the wiring is right!</translation>
    </message>
    <message>
        <source>查找 (Enter 下一个, Shift+Enter 上一个)</source>
        <translation>Find (Enter: next, Shift+Enter: previous)</translation>
    </message>
    <message>
        <source>查找:</source>
        <translation>Find:</translation>
    </message>
    <message>
        <source>校准主频(13.56)</source>
        <translation>Calibrate main clock (13.56)</translation>
    </message>
    <message>
        <source>校准信息</source>
        <translation>calibration</translation>
    </message>
    <message>
        <source>校准设置</source>
        <translation>Calibration</translation>
    </message>
    <message>
        <source>校验码</source>
        <translation>Checksum</translation>
    </message>
    <message>
        <source>校验码错误!</source>
        <translation>Wrong checksum!</translation>
    </message>
    <message>
        <source>检测</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>检测固件日期</source>
        <translation>Check firmware date</translation>
    </message>
    <message>
        <source>检测固件版本号</source>
        <translation>Check firmware version</translation>
    </message>
    <message>
        <source>检测电压(范围:3000~5500mv)</source>
        <translation>Check voltage (3000–5500 mV)</translation>
    </message>
    <message>
        <source>检空片固件</source>
        <translation>Blank-check firmware</translation>
    </message>
    <message>
        <source>模式</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>模拟器</source>
        <translation>Simulator</translation>
    </message>
    <message>
        <source>模拟插座</source>
        <translation>Simulated socket</translation>
    </message>
    <message>
        <source>模拟烧录器</source>
        <translation>simulated programmer</translation>
    </message>
    <message>
        <source>每小时 OK / NG</source>
        <translation>OK / NG per hour</translation>
    </message>
    <message>
        <source>泄放电流时间</source>
        <translation>Discharge current time</translation>
    </message>
    <message>
        <source>测试器未连接到PC，请检查USB连线!</source>
        <translation>The tester is not connected to the PC. Check the USB cable!</translation>
    </message>
    <message>
        <source>测试固件</source>
        <translation>Test firmware</translation>
    </message>
    <message>
        <source>烧录</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>烧录APP</source>
        <translation>Program APP</translation>
    </message>
    <message>
        <source>烧录BootLoader</source>
        <translation>Program BootLoader</translation>
    </message>
    <message>
        <source>烧录INIT</source>
        <translation>Program INIT</translation>
    </message>
    <message>
        <source>烧录后换新芯片</source>
        <translation>A new chip after each burn</translation>
    </message>
    <message>
        <source>烧录器断开</source>
        <translation>Disconnect programmer</translation>
    </message>
    <message>
        <source>烧录器连接</source>
        <translation>Connect programmer</translation>
    </message>
    <message>
        <source>烧录固件</source>
        <translation>Programming firmware</translation>
    </message>
    <message>
        <source>烧录文件地址</source>
        <translation>Image file</translation>
    </message>
    <message>
        <source>生产记录</source>
        <translation>Production records</translation>
    </message>
    <message>
        <source>生产记录已关闭 ([RECORDS] PATH=off)</source>
        <translation>Production records are off ([RECORDS] PATH=off)</translation>
    </message>
    <message>
        <source>用时ms</source>
        <translation>Duration ms</translation>
    </message>
    <message>
        <source>电压乘以1000</source>
        <translation>voltage × 1000</translation>
    </message>
    <message>
        <source>短路保护开关</source>
        <translation>Short-circuit protection</translation>
    </message>
    <message>
        <source>空</source>
        <translation>empty</translation>
    </message>
    <message>
        <source>空插座</source>
        <translation>Empty socket</translation>
    </message>
    <message>
        <source>系统(S)</source>
        <translation>System</translation>
    </message>
    <message>
        <source>线补</source>
        <translation>Cable compensation</translation>
    </message>
    <message>
        <source>结果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>结果:</source>
        <translation>Result:</translation>
    </message>
    <message>
        <source>脱机烧录</source>
        <translation>Offline</translation>
    </message>
    <message>
        <source>脱机烧录APP</source>
        <translation>Offline APP</translation>
    </message>
    <message>
        <source>脱机烧录BootLoader</source>
        <translation>Offline BootLoader</translation>
    </message>
    <message>
        <source>脱机烧录INIT</source>
        <translation>Offline INIT</translation>
    </message>
    <message>
        <source>自动检测</source>
        <translation>Auto-detect</translation>
    </message>
    <message>
        <source>自定义PDO</source>
        <translation>Custom PDO</translation>
    </message>
    <message>
        <source>芯片VDD电压</source>
        <translation>Chip VDD voltage</translation>
    </message>
    <message>
        <source>芯片VDD电压错误!</source>
        <translation>Wrong chip VDD voltage!</translation>
    </message>
    <message>
        <source>芯片型号</source>
        <translation>Chip model</translation>
    </message>
    <message>
        <source>警告!</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>设置EEPROM初始化电压</source>
        <translation>EEPROM initial voltage</translation>
    </message>
    <message>
        <source>设置序号</source>
        <translation>Sequence number</translation>
    </message>
    <message>
        <source>请使能烧录器连接!</source>
        <translation>Connect the programmer first!</translation>
    </message>
    <message>
        <source>请在校准信息栏上输入烧录器实测4.5V电压实测值！</source>
        <translation>Enter the programmer's measured 4.5 V value in the calibration field!</translation>
    </message>
    <message>
        <source>请在设置页面输入固件版本号</source>
        <translation>Enter the firmware version on the settings page</translation>
    </message>
    <message>
        <source>请在设置页面输入校验码</source>
        <translation>Enter the checksum on the settings page</translation>
    </message>
    <message>
        <source>请在设置页面选择日期</source>
        <translation>Choose the date on the settings page</translation>
    </message>
    <message>
        <source>请插入USB设备!</source>
        <translation>Please plug in the USB device!</translation>
    </message>
    <message>
        <source>请确认输入的数据,数据最多不超过30个!</source>
        <translation>Check the data: at most 30 values!</translation>
    </message>
    <message>
        <source>请输入','结束符</source>
        <translation>End with ','</translation>
    </message>
    <message>
        <source>请输入两位数据!</source>
        <translation>Enter two digits!</translation>
    </message>
    <message>
        <source>请输入英文输入法下的','</source>
        <translation>Type an ASCII ','</translation>
    </message>
    <message>
        <source>请选择.bin文件</source>
        <translation>Please choose a .bin file</translation>
    </message>
    <message>
        <source>请选择.hex文件</source>
        <translation>Please choose a .hex file</translation>
    </message>
    <message>
        <source>读烧录错误类型统计数据</source>
        <translation>Read programming error statistics</translation>
    </message>
    <message>
        <source>跟随型号</source>
        <translation>follows the model</translation>
    </message>
    <message>
        <source>跟随所选型号</source>
        <translation>Follow the selected model</translation>
    </message>
    <message>
        <source>输入应在0~9之间</source>
        <translation>Enter 0–9</translation>
    </message>
    <message>
        <source>输入应在0~9或A~F之间</source>
        <translation>Enter 0–9 or A–F</translation>
    </message>
    <message>
        <source>输入的PDO数据为空，请检查</source>
        <translation>The PDO data is empty. Please check it</translation>
    </message>
    <message>
        <source>输入的PDO数据存在异常，请检查</source>
        <translation>The PDO data is not valid. Please check it</translation>
    </message>
    <message>
        <source>过压保护开关</source>
        <translation>Overvoltage protection</translation>
    </message>
    <message>
        <source>远程烧录</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>选择32M主频</source>
        <translation>32 MHz main clock</translation>
    </message>
    <message>
        <source>选择烧录固件</source>
        <translation>Programmer firmware</translation>
    </message>
    <message>
        <source>选择的hex文件有误，请重新确认此文件！</source>
        <translation>The chosen hex file is wrong. Please check the file!</translation>
    </message>
    <message>
        <source>通用设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>配置区校验2错误:</source>
        <translation>Config area 2 verify errors:</translation>
    </message>
    <message>
        <source>配置区校验2错误:%1个</source>
        <translation>Config area 2 verify errors: %1</translation>
    </message>
    <message>
        <source>配置区校验错误:</source>
        <translation>Config area verify errors:</translation>
    </message>
    <message>
        <source>配置区校验错误:%1个</source>
        <translation>Config area verify errors: %1</translation>
    </message>
    <message>
        <source>配置区编程2错误:</source>
        <translation>Config area 2 program errors:</translation>
    </message>
    <message>
        <source>配置区编程2错误:%1个</source>
        <translation>Config area 2 program errors: %1</translation>
    </message>
    <message>
        <source>配置区编程错误:</source>
        <translation>Config area program errors:</translation>
    </message>
    <message>
        <source>配置区编程错误:%1个</source>
        <translation>Config area program errors: %1</translation>
    </message>
    <message>
        <source>配置字</source>
        <translation>Config</translation>
    </message>
    <message>
        <source>配置字列表</source>
        <translation>Config list</translation>
    </message>
    <message>
        <source>镜像</source>
        <translation>Image</translation>
    </message>
    <message>
        <source>非真实烧录</source>
        <translation>no real burn</translation>
    </message>
</context>
</TS>
