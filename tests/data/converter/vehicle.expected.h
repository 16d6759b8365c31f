/*
Message Name:EngineData
Message ID:0x100
*/
typedef struct
{
    unsigned char EngineSpeed0:8;
    unsigned char EngineSpeed1:8;
    unsigned char CoolantTemp:8;
    unsigned char ThrottlePosition:8;
    unsigned char EngineRunning:1;
    unsigned char StarterActive:1;
    unsigned char resev_0:6;
    unsigned char resev_1:8;
    unsigned char resev_2:8;
    unsigned char EngineChecksum:8;
 }EngineData_Type;


/*
Message Name:WheelSpeeds
Message ID:0x340
*/
typedef struct
{
    unsigned char resev_0:7;
    unsigned char WheelSpeedFL0:1;
    unsigned char WheelSpeedFL1:8;
    unsigned char WheelSpeedFL2:7;
    unsigned char WheelSpeedFR0:1;
    unsigned char WheelSpeedFR1:8;
    unsigned char WheelSpeedFR2:7;
    unsigned char WheelSpeedRL0:1;
    unsigned char WheelSpeedRL1:8;
    unsigned char WheelSpeedRL2:7;
    unsigned char WheelSpeedRR0:1;
    unsigned char WheelSpeedRR1:8;
    unsigned char WheelSpeedRR2:7;
 }WheelSpeeds_Type;


/*
Message Name:BrakeStatus
Message ID:0x400
*/
typedef struct
{
    unsigned char BrakePressure0:8;
    unsigned char BrakePressure1:4;
    unsigned char BrakePedalPressed:1;
    unsigned char resev_0:1;
    unsigned char AbsActive:1;
    unsigned char resev_1:1;
    unsigned char resev_2:2;
    unsigned char VehicleDecel0:6;
    unsigned char VehicleDecel1:4;
    unsigned char resev_3:1;
    unsigned char BrakeLightOn:1;
    unsigned char resev_4:2;
    unsigned char resev_5:4;
    unsigned char BrakeCounter:4;
    unsigned char BrakeChecksum:8;
    unsigned char resev_6:8;
    unsigned char resev_7:8;
 }BrakeStatus_Type;


/*
Message Name:GearboxInfo
Message ID:0x440
*/
typedef struct
{
    unsigned char resev_0:4;
    unsigned char GearMode:4;
    unsigned char TargetGear:4;
    unsigned char CurrentGear:4;
    unsigned char OilTemp:8;
    unsigned char resev_1:8;
    unsigned char resev_2:8;
    unsigned char resev_3:8;
    unsigned char resev_4:8;
    unsigned char resev_5:8;
 }GearboxInfo_Type;


/*
Message Name:MSG_DoorLocks
Message ID:0x510
*/
typedef struct
{
    unsigned char resev_0:4;
    unsigned char RearRightDoorLocked:1;
    unsigned char RearLeftDoorLocked:1;
    unsigned char PassengerDoorLocked:1;
    unsigned char DriverDoorLocked:1;
    unsigned char resev_1:7;
    unsigned char ChildLockActive:1;
    unsigned char resev_2:8;
    unsigned char resev_3:8;
    unsigned char resev_4:8;
    unsigned char resev_5:8;
    unsigned char resev_6:8;
    unsigned char resev_7:8;
 }MSG_DoorLocks_Type;


/*
Message Name:EEC1
Message ID:0xcf004fe
*/
typedef struct
{
    unsigned char resev_0:7;
    unsigned char EngTorqueMode0:1;
    unsigned char EngTorqueMode1:3;
    unsigned char resev_1:5;
    unsigned char resev_2:7;
    unsigned char ActualEngPercentTorque0:1;
    unsigned char ActualEngPercentTorque1:7;
    unsigned char EngSpeed0:1;
    unsigned char EngSpeed1:8;
    unsigned char EngSpeed2:7;
    unsigned char resev_3:1;
    unsigned char resev_4:8;
    unsigned char resev_5:8;
 }EEC1_Type;


/*
Message Name:DiagRequest
Message ID:0x7bb
*/
typedef struct
{
    unsigned char resev_0:8;
    unsigned char resev_1:8;
    unsigned char resev_2:8;
    unsigned char resev_3:8;
    unsigned char resev_4:8;
    unsigned char resev_5:8;
    unsigned char resev_6:8;
    unsigned char resev_7:8;
 }DiagRequest_Type;


