<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>QObject</name>
    <message>
        <source>ID_SHUTUP</source>
        <translation>Mute all</translation>
    </message>
    <message>
        <source>ID_CANCLE_SHUTUP</source>
        <translation>Unmute</translation>
    </message>
    <message>
        <source>ID_INPUT_WORD</source>
        <translation>Type a message...</translation>
    </message>
    <message>
        <source>ID_SEND_MESSAGE</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>ID_NOT_ENPTY</source>
        <translation>Message cannot be empty</translation>
    </message>
</context>
</TS>
