<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QObject</name>
    <message>
        <source>ID_SHUTUP</source>
        <translation>全员禁言</translation>
    </message>
    <message>
        <source>ID_CANCLE_SHUTUP</source>
        <translation>解除禁言</translation>
    </message>
    <message>
        <source>ID_INPUT_WORD</source>
        <translation>请输入消息...</translation>
    </message>
    <message>
        <source>ID_SEND_MESSAGE</source>
        <translation>发送</translation>
    </message>
    <message>
        <source>ID_NOT_ENPTY</source>
        <translation>发送内容不能为空</translation>
    </message>
</context>
</TS>
