<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<!-- The window in Chinese: the few texts the station writes in English (the simulator's fault list). -->
<context>
    <name>kelvor</name>
    <message>
        <source>P percent of burns fail (ng-rate=P)</source>
        <translation>P% 的烧录失败 (ng-rate=P)</translation>
    </message>
    <message>
        <source>a bit of the chip stays 1: verify error with its address (0x08)</source>
        <translation>芯片有一位保持为 1: 带地址的校验错误 (0x08)</translation>
    </message>
    <message>
        <source>after entering its boot loader the programmer stays off the bus</source>
        <translation>进入 Bootloader 后烧录器不再回到总线</translation>
    </message>
    <message>
        <source>answers carry the unknown status 0x18</source>
        <translation>应答带有未知状态 0x18</translation>
    </message>
    <message>
        <source>auto-detect answers without the hardware version</source>
        <translation>自动检测的应答不含硬件版本</translation>
    </message>
    <message>
        <source>command 17 (auto-detect) fails</source>
        <translation>命令 17 (自动检测) 失败</translation>
    </message>
    <message>
        <source>command 18 (QC test) is never answered</source>
        <translation>命令 18 (QC 测试) 从不应答</translation>
    </message>
    <message>
        <source>command 8 fails</source>
        <translation>命令 8 失败</translation>
    </message>
    <message>
        <source>commands are accepted and never answered</source>
        <translation>命令被接收, 但从不应答</translation>
    </message>
    <message>
        <source>no programmer enumerates</source>
        <translation>总线上没有烧录器</translation>
    </message>
    <message>
        <source>open fails with another OS error</source>
        <translation>打开失败, 其他系统错误</translation>
    </message>
    <message>
        <source>open fails: the programmer is already open (OS error 32)</source>
        <translation>打开失败: 烧录器已被打开 (系统错误 32)</translation>
    </message>
    <message>
        <source>power fails once during a firmware download; the programmer comes back in its boot loader</source>
        <translation>固件下载中断电一次, 烧录器回来时处于 Bootloader</translation>
    </message>
    <message>
        <source>the QC test measures a supply voltage out of range (5600 mV)</source>
        <translation>QC 测试测得超出范围的电源电压 (5600 mV)</translation>
    </message>
    <message>
        <source>the QC test reads a wrong checksum</source>
        <translation>QC 测试读到错误的校验码</translation>
    </message>
    <message>
        <source>the QC test reads a wrong firmware version</source>
        <translation>QC 测试读到错误的固件版本号</translation>
    </message>
    <message>
        <source>the UART set-up fails</source>
        <translation>UART 设置失败</translation>
    </message>
    <message>
        <source>the answer to a transfer's first page (or second block) never comes</source>
        <translation>传输第一页 (或第二块) 的应答从不到来</translation>
    </message>
    <message>
        <source>the answer to a transfer's first wait never comes</source>
        <translation>传输第一次等待的应答从不到来</translation>
    </message>
    <message>
        <source>the answer to a transfer's last wait (the paged tail, a download's end) never comes</source>
        <translation>传输最后一次等待 (分页的末尾, 下载的结束) 的应答从不到来</translation>
    </message>
    <message>
        <source>the answers a transfer waits for never come</source>
        <translation>传输等待的应答从不到来</translation>
    </message>
    <message>
        <source>the blank check fails (0x04)</source>
        <translation>查空失败 (0x04)</translation>
    </message>
    <message>
        <source>the boot loader cannot write the first firmware block (0x0B)</source>
        <translation>Bootloader 无法写入第一个固件块 (0x0B)</translation>
    </message>
    <message>
        <source>the chip answers a wrong identifier (0x01)</source>
        <translation>芯片应答错误的 ID (0x01)</translation>
    </message>
    <message>
        <source>the programmer computes a different check word (0x24)</source>
        <translation>烧录器算出不同的校验字 (0x24)</translation>
    </message>
    <message>
        <source>the programmer leaves the bus at the third data packet</source>
        <translation>烧录器在第三个数据包时离开总线</translation>
    </message>
</context>
</TS>
