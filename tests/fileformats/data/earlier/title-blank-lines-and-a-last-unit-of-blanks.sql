INSERT INTO contact VALUES(1,'','Dr	   山田 王');
INSERT INTO data VALUES(1,1,1,'','Dr	   山田 王','  山田','王 ','','Dr	','','','','','','','','','',NULL);
INSERT INTO data VALUES(2,3,1,'','555 0179','2','','','','','','','','','','','','',NULL);
INSERT INTO data VALUES(3,10,1,'','Acme','','','','Sales	;  ','','','','','','','','','',NULL);
INSERT INTO data VALUES(4,12,1,'',replace('1 Main St\n \n  Paris','\n',char(10)),'1','',replace('1 Main St\n ','\n',char(10)),'','','  Paris  ','','',' ','','','','',NULL);
INSERT INTO data VALUES(5,12,1,'',replace('2 Main St \n \n  Springfield, 12345\nUSA','\n',char(10)),'2','',replace('2 Main St \n ','\n',char(10)),'','','  Springfield','','12345','USA  ','','','','',NULL);
