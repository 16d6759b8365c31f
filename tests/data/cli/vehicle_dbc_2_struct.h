/*
Message Name:VCU_Status
Message ID:0x100
*/
typedef struct
{
    unsigned char VCU_ReadyLamp:1;
    unsigned char resev_0:3;
    unsigned char VCU_State:4;
    unsigned char resev_1:4;
    unsigned char VCU_GearPos:3;
    unsigned char resev_2:1;
    unsigned char VCU_AccelPedal:8;
    unsigned char resev_3:7;
    unsigned char VCU_BrakePressed:1;
    unsigned char resev_4:8;
    unsigned char resev_5:8;
    unsigned char resev_6:8;
    unsigned char resev_7:4;
    unsigned char VCU_AliveCounter:4;
 }VCU_Status_Type;


/*
Message Name:BMS_PackInfo
Message ID:0x120
*/
typedef struct
{
    unsigned char BMS_PackVoltage0:8;
    unsigned char BMS_PackVoltage1:8;
    unsigned char BMS_PackCurrent0:8;
    unsigned char BMS_PackCurrent1:8;
    unsigned char BMS_SOC:8;
    unsigned char BMS_MaxCellTemp:8;
    unsigned char resev_0:8;
    unsigned char resev_1:8;
 }BMS_PackInfo_Type;


/*
Message Name:MCU_Torque
Message ID:0x220
*/
typedef struct
{
    unsigned char MCU_ActualTorque0:8;
    unsigned char MCU_ActualTorque1:4;
    unsigned char resev_0:4;
    unsigned char resev_1:8;
    unsigned char resev_2:4;
    unsigned char MCU_MotorSpeed0:4;
    unsigned char MCU_MotorSpeed1:8;
    unsigned char MCU_MotorSpeed2:4;
    unsigned char resev_3:4;
    unsigned char MCU_FaultLevel:2;
    unsigned char resev_4:6;
    unsigned char resev_5:8;
 }MCU_Torque_Type;


/*
Message Name:GW_VehicleSpeed
Message ID:0x400
*/
typedef struct
{
    unsigned char GW_Speed0:8;
    unsigned char GW_Speed1:5;
    unsigned char resev_0:3;
    unsigned char resev_1:8;
    unsigned char resev_2:8;
    unsigned char resev_3:8;
    unsigned char resev_4:8;
    unsigned char resev_5:8;
    unsigned char resev_6:8;
 }GW_VehicleSpeed_Type;


/*
Message Name:VCU_Diag
Message ID:0x500
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
 }VCU_Diag_Type;


